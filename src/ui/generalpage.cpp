#include "generalpage.h"

#include "editorfields.h"
#include "forwardingeditor.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileedit.h"
#include "profilevalidationform.h"
#include "tag.h"

#include <QCheckBox>
#include <QCollator>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

Tag *tagOf(const QListWidgetItem *item)
{
    return reinterpret_cast<Tag *>(item->data(Qt::UserRole).value<quintptr>());
}

QList<Tag *> namedTags(const ObjectContext &context)
{
    QList<Tag *> tags;
    for (Tag *tag : context.tags()) {
        if (tag->name() && !tag->name()->isEmpty())
            tags.append(tag);
    }
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(tags.begin(), tags.end(),
              [&](Tag *a, Tag *b) { return collator.compare(*a->name(), *b->name()) < 0; });
    return tags;
}

} // namespace

GeneralPage::GeneralPage(QWidget *parent) : QWidget(parent)
{
    m_forwardings = new ForwardingEditor;
    auto *forwardingBox = new QGroupBox(localized("Port Forwarding"));
    auto *forwardingLayout = new QVBoxLayout(forwardingBox);
    forwardingLayout->addWidget(m_forwardings);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeIdentityFields());
    layout->addWidget(forwardingBox, 1);
    connectFields();
}

QWidget *GeneralPage::makeIdentityFields()
{
    m_name = new QLineEdit;
    m_name->setAccessibleName(localized("Descriptive name"));
    m_name->setPlaceholderText(localized("Descriptive name"));
    m_nameMessage = EditorFields::messageLine();
    m_host = new QLineEdit;
    m_host->setAccessibleName(localized("Hostname or IP address"));
    m_host->setPlaceholderText(localized("Hostname or IP address"));
    m_addressMessage = EditorFields::messageLine();
    m_port = new QLineEdit;
    m_port->setAccessibleName(localized("Port"));
    m_port->setMaxLength(5);
    m_port->setMaximumWidth(90);
    m_user = new QLineEdit;
    m_user->setAccessibleName(localized("Username"));
    m_user->setPlaceholderText(localized("Username"));
    m_userMessage = EditorFields::messageLine();
    m_noteMessage = EditorFields::messageLine();
    m_note = new QPlainTextEdit;
    m_note->setAccessibleName(localized("Note"));
    m_note->setTabChangesFocus(true);
    m_note->setFixedHeight(m_note->fontMetrics().lineSpacing() * 3 + 14);
    m_pinned = new QCheckBox(localized("Pin to the top of the list"));
    m_autoConnect = new QCheckBox(localized("Connect when VellSSH starts"));

    // The host and the port share one message line, so that a message about either lies under
    // the row.
    auto *address = new QHBoxLayout;
    address->addWidget(m_host, 1);
    auto *portLabel = new QLabel(localized("Port:"));
    portLabel->setBuddy(m_port);
    address->addWidget(portLabel);
    address->addWidget(m_port);
    auto *addressRow = new QVBoxLayout;
    addressRow->setSpacing(2);
    addressRow->addLayout(address);
    addressRow->addWidget(m_addressMessage);
    auto *switches = new QHBoxLayout;
    switches->addWidget(m_pinned);
    switches->addWidget(m_autoConnect);
    switches->addStretch();

    auto *fields = new QWidget;
    auto *form = new QFormLayout(fields);
    form->setContentsMargins({});
    auto label = [](const QString &text, QWidget *buddy) {
        auto *label = new QLabel(text);
        label->setBuddy(buddy);
        return label;
    };
    form->addRow(label(localized("&Name:"), m_name),
                 EditorFields::withMessage(m_name, m_nameMessage));
    form->addRow(label(localized("&Host:"), m_host), addressRow);
    form->addRow(label(localized("&User:"), m_user),
                 EditorFields::withMessage(m_user, m_userMessage));
    QWidget *tagFields = makeTagFields();
    form->addRow(label(localized("&Tags:"), m_tags), tagFields);
    form->addRow(label(localized("N&ote:"), m_note),
                 EditorFields::withMessage(m_note, m_noteMessage));
    form->addRow(QString(), switches);
    setTabOrder(m_name, m_host);
    setTabOrder(m_host, m_port);
    setTabOrder(m_port, m_user);
    setTabOrder(m_user, m_tags);
    setTabOrder(m_tags, m_newTag);
    setTabOrder(m_newTag, m_note);
    setTabOrder(m_note, m_pinned);
    setTabOrder(m_pinned, m_autoConnect);
    return fields;
}

QWidget *GeneralPage::makeTagFields()
{
    m_tags = new QListWidget;
    m_tags->setAccessibleName(localized("Tags"));
    m_tags->setFlow(QListView::LeftToRight);
    m_tags->setWrapping(true);
    m_tags->setSpacing(2);
    m_tags->setFixedHeight(m_tags->fontMetrics().height() * 2 + 16);
    m_newTag = new QPushButton(localized("New Tag…"));
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins({});
    row->addWidget(m_tags, 1);
    row->addWidget(m_newTag, 0, Qt::AlignTop);
    return box;
}

void GeneralPage::connectFields()
{
    auto text = [this](QLineEdit *field, void (Profile::*set)(const std::optional<QString> &)) {
        connect(field, &QLineEdit::textEdited, this, [this, set](const QString &typed) {
            if (m_profile)
                (m_profile->*set)(EditorFields::storedText(typed));
            Q_EMIT edited();
        });
    };
    text(m_name, &Profile::setName);
    text(m_host, &Profile::setAddress);
    text(m_user, &Profile::setUser);
    connect(m_port, &QLineEdit::textEdited, this, [this](const QString &typed) {
        if (m_profile)
            m_profile->setPort(EditorFields::storedPort(typed));
        Q_EMIT edited();
    });
    connect(m_note, &QPlainTextEdit::textChanged, this, [this] {
        const QString note = m_note->toPlainText();
        if (m_profile)
            m_profile->setNote(note.isEmpty() ? std::nullopt : std::optional(note));
        Q_EMIT edited();
    });
    connect(m_pinned, &QCheckBox::clicked, this, [this](bool on) {
        if (m_profile)
            m_profile->setPinned(on);
        Q_EMIT edited();
    });
    connect(m_autoConnect, &QCheckBox::clicked, this, [this](bool on) {
        if (m_profile)
            m_profile->setAutoConnect(on);
        Q_EMIT edited();
    });
    connect(m_tags, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (!m_profile)
            return;
        if (item->checkState() == Qt::Checked)
            m_profile->addTag(tagOf(item));
        else
            m_profile->removeTag(tagOf(item));
        Q_EMIT edited();
    });
    connect(m_newTag, &QPushButton::clicked, this, &GeneralPage::askForNewTag);
    connect(m_forwardings, &ForwardingEditor::edited, this, &GeneralPage::edited);
}

void GeneralPage::setProfile(ObjectContext *context, Profile *profile)
{
    m_context = context;
    m_profile = profile;
    m_forwardings->setProfile(context, profile);
    refresh();
}

void GeneralPage::refresh()
{
    if (!m_profile)
        return;
    const Profile &p = *m_profile;
    EditorFields::showText(m_name, p.name());
    EditorFields::showText(m_host, p.address());
    EditorFields::showPort(m_port, p.port());
    EditorFields::showText(m_user, p.user());
    if (m_note->toPlainText() != p.note().value_or(QString())) {
        const QSignalBlocker blocker(m_note);
        m_note->setPlainText(p.note().value_or(QString()));
    }
    m_pinned->setChecked(p.pinned());
    m_autoConnect->setChecked(p.autoConnect());
    refreshTags();
}

void GeneralPage::refreshTags()
{
    const QList<Tag *> tags = namedTags(*m_context);
    bool same = m_tags->count() == tags.size();
    for (int row = 0; same && row < tags.size(); ++row) {
        const QListWidgetItem *item = m_tags->item(row);
        same = tagOf(item) == tags.at(row) && item->text() == *tags.at(row)->name();
    }
    const QSignalBlocker blocker(m_tags);
    if (!same) {
        m_tags->clear();
        for (Tag *tag : tags) {
            auto *item = new QListWidgetItem(*tag->name(), m_tags);
            item->setData(Qt::UserRole, QVariant::fromValue(quintptr(tag)));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        }
    }
    for (int row = 0; row < m_tags->count(); ++row) {
        QListWidgetItem *item = m_tags->item(row);
        item->setCheckState(m_profile->hasTag(tagOf(item)) ? Qt::Checked : Qt::Unchecked);
    }
}

Status GeneralPage::addTagNamed(const QString &name)
{
    if (!m_profile)
        return std::nullopt;
    auto tag = tagForName(*m_context, name.trimmed());
    if (!tag)
        return tag.error();
    m_profile->addTag(*tag);
    refreshTags();
    Q_EMIT edited();
    return std::nullopt;
}

void GeneralPage::askForNewTag()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, localized("New Tag"), localized("Tag name:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return;
    if (const Status problem = addTagNamed(name)) {
        QMessageBox::warning(this, localized("New Tag"),
                             problem->message + u'\n' + problem->recoverySuggestion);
    }
}

void GeneralPage::setEffectivePort(int port)
{
    m_port->setPlaceholderText(QString::number(port));
}

bool GeneralPage::showMessages(const ProfileValidationForm *required,
                               const QList<ProfileValidationForm::FieldProblem> &problems)
{
    using Field = ProfileValidationForm::Field;
    using Checked = ProfileValidationForm::CheckedField;
    // An empty required field has nothing else wrong with it.
    auto messageOf = [&](Field field, Checked checked) {
        const QString missing = required ? required->message(field) : QString();
        return missing.isEmpty() ? EditorFields::problemIn(problems, checked) : missing;
    };
    const QString name = messageOf(Field::profileName, Checked::name);
    const QString host = messageOf(Field::hostName, Checked::host);
    const QString port =
        EditorFields::isPortText(m_port->text()) ? QString() : EditorFields::portMessage();
    const QString user = messageOf(Field::loginName, Checked::user);
    const QString note = EditorFields::problemIn(problems, Checked::note);
    EditorFields::showMessage(m_nameMessage, m_name, name);
    EditorFields::showMessage(m_addressMessage, m_host, host);
    EditorFields::markInvalid(m_port, !port.isEmpty());
    const QString address = QStringList{host, port}.join(u' ').trimmed();
    m_addressMessage->setText(address);
    m_addressMessage->setToolTip(address);
    EditorFields::showMessage(m_userMessage, m_user, user);
    EditorFields::showMessage(m_noteMessage, m_note, note);
    return !(name + host + port + user + note).isEmpty();
}

void GeneralPage::showNameMessage(const QString &message)
{
    EditorFields::showMessage(m_nameMessage, m_name, message);
}
