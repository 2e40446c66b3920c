#include "forwardingform.h"

#include "editorfields.h"
#include "formatstyles.h"
#include "forwarding.h"
#include "forwardingtype.h"
#include "localized.h"
#include "networkinterface.h"
#include "profilevalidationform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

constexpr ForwardingType kinds[] = {ForwardingType::local, ForwardingType::remote,
                                    ForwardingType::dynamic, ForwardingType::reverseDynamic};

bool isBlank(const std::optional<QString> &text)
{
    return !text || text->trimmed().isEmpty();
}

bool isSocketPath(const std::optional<QString> &address)
{
    return address && (address->startsWith(u'/') || address->startsWith(u"~/"_s));
}

bool isPort(qint32 port)
{
    return port >= 1 && port <= 65535;
}

// Which fields keep a forwarding from being acceptable (see ProfileValidationForm).
struct FieldProblems
{
    bool bindAddress = false;
    bool bindPort = false;
    bool targetAddress = false;
    bool targetPort = false;
};

FieldProblems problemsOf(const ForwardingData &f)
{
    FieldProblems problems;
    if (!f.enabled)
        return problems;
    const ForwardingType kind = forwardingTypeOrLocal(f.type);
    const bool dynamic = isDynamic(kind);
    problems.bindAddress = !ProfileValidationForm::isAcceptableAddress(f.bindAddress) ||
                           (dynamic && isSocketPath(f.bindAddress));
    problems.bindPort = (dynamic || !isSocketPath(f.bindAddress)) && !isPort(f.bindPort);
    if (dynamic)
        return problems;
    const bool needsTarget =
        kind == ForwardingType::local || !(isBlank(f.targetAddress) && f.targetPort == 0);
    problems.targetAddress = !ProfileValidationForm::isAcceptableAddress(f.targetAddress) ||
                             (needsTarget && isBlank(f.targetAddress));
    problems.targetPort = needsTarget && !isSocketPath(f.targetAddress) && !isPort(f.targetPort);
    return problems;
}

QUuid keyOf(const Forwarding *forwarding)
{
    return forwarding->uuid().value_or(QUuid());
}

QLineEdit *portField(const QString &accessibleName)
{
    auto *field = new QLineEdit;
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(localized("Port"));
    field->setMaxLength(5);
    field->setMaximumWidth(90);
    return field;
}

} // namespace

ForwardingForm::ForwardingForm(QWidget *parent) : QWidget(parent)
{
    build();
    connectFields();
    setForwarding(nullptr);
}

void ForwardingForm::build()
{
    m_title = new QLabel;
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    m_kind = new QComboBox;
    m_kind->setAccessibleName(localized("Kind"));
    for (ForwardingType kind : kinds)
        m_kind->addItem(longTitle(kind), int(kind));
    m_enabled = new QCheckBox(localized("Enabled"));

    m_bindAddress = new QComboBox;
    m_bindAddress->setEditable(true);
    m_bindAddress->setInsertPolicy(QComboBox::NoInsert);
    m_bindAddress->setAccessibleName(localized("Bind address"));
    m_bindAddress->lineEdit()->setPlaceholderText(localized("Address or socket path"));
    m_bindAddress->addItem(QString());
    for (const NetworkInterface &interface : NetworkInterface::list()) {
        for (const QString &address : {interface.ipv4Address, interface.ipv6Address}) {
            if (address.isEmpty())
                continue;
            m_bindAddress->addItem(address);
            m_bindAddress->setItemData(m_bindAddress->count() - 1, interface.title(),
                                       Qt::ToolTipRole);
        }
    }
    m_bindPort = portField(localized("Bind port"));
    m_targetAddress = new QLineEdit;
    m_targetAddress->setAccessibleName(localized("Target address"));
    m_targetAddress->setPlaceholderText(localized("Host or socket path"));
    m_targetPort = portField(localized("Target port"));
    m_note = new QLineEdit;
    m_note->setAccessibleName(localized("Forwarding note"));
    m_portMessage = EditorFields::messageLine();

    auto *bind = new QHBoxLayout;
    bind->addWidget(m_bindAddress, 1);
    bind->addWidget(m_bindPort);
    m_target = new QWidget;
    auto *target = new QHBoxLayout(m_target);
    target->setContentsMargins({});
    target->addWidget(m_targetAddress, 1);
    target->addWidget(m_targetPort);

    auto *form = new QFormLayout(this);
    form->setContentsMargins({});
    form->addRow(m_title);
    form->addRow(localized("Kind:"), m_kind);
    form->addRow(QString(), m_enabled);
    form->addRow(localized("Listen on:"), bind);
    m_targetLabel = new QLabel(localized("Forward to:"));
    form->addRow(m_targetLabel, m_target);
    form->addRow(QString(), m_portMessage);
    auto *noteLabel = new QLabel(localized("Note:"));
    noteLabel->setBuddy(m_note);
    form->addRow(noteLabel, m_note);
    setTabOrder(m_kind, m_enabled);
    setTabOrder(m_enabled, m_bindAddress);
    setTabOrder(m_bindAddress, m_bindPort);
    setTabOrder(m_bindPort, m_targetAddress);
    setTabOrder(m_targetAddress, m_targetPort);
    setTabOrder(m_targetPort, m_note);
}

void ForwardingForm::connectFields()
{
    connect(m_kind, &QComboBox::activated, this, [this](int index) {
        const auto kind = qint16(m_kind->itemData(index).toInt());
        store([kind](ForwardingData &d) { d.type = kind; });
    });
    connect(m_enabled, &QCheckBox::clicked, this,
            [this](bool on) { store([on](ForwardingData &d) { d.enabled = on; }); });
    connect(m_bindAddress, &QComboBox::editTextChanged, this, [this](const QString &text) {
        if (m_forwarding && EditorFields::storedText(text) != m_forwarding->bindAddress())
            store([&](ForwardingData &d) { d.bindAddress = EditorFields::storedText(text); });
    });
    connect(m_bindPort, &QLineEdit::textEdited, this, [this](const QString &text) {
        typePort(m_bindPort, text);
        store([&](ForwardingData &d) { d.bindPort = EditorFields::storedPort(text); });
    });
    connect(m_targetAddress, &QLineEdit::textEdited, this, [this](const QString &text) {
        store([&](ForwardingData &d) { d.targetAddress = EditorFields::storedText(text); });
    });
    connect(m_targetPort, &QLineEdit::textEdited, this, [this](const QString &text) {
        typePort(m_targetPort, text);
        store([&](ForwardingData &d) { d.targetPort = EditorFields::storedPort(text); });
    });
    connect(m_note, &QLineEdit::textEdited, this, [this](const QString &text) {
        store([&](ForwardingData &d) {
            d.note = text.isEmpty() ? std::nullopt : std::optional(text);
        });
    });
}

void ForwardingForm::store(const std::function<void(ForwardingData &)> &change)
{
    if (!m_forwarding)
        return;
    m_forwarding->edit(change);
    showKind();
    markFields();
    Q_EMIT edited();
}

void ForwardingForm::typePort(QLineEdit *field, const QString &text)
{
    if (!m_forwarding)
        return;
    if (EditorFields::isPortText(text)) {
        typedPort(field).clear();
        const TypedPorts &typed = m_typedPorts.value(keyOf(m_forwarding));
        if (typed.bind.isEmpty() && typed.target.isEmpty())
            m_typedPorts.remove(keyOf(m_forwarding));
    } else {
        typedPort(field) = text;
    }
}

QString &ForwardingForm::typedPort(const QLineEdit *field)
{
    TypedPorts &typed = m_typedPorts[keyOf(m_forwarding)];
    return field == m_bindPort ? typed.bind : typed.target;
}

bool ForwardingForm::hasUnreadablePort(const Forwarding *forwarding) const
{
    const TypedPorts typed = m_typedPorts.value(keyOf(forwarding));
    return !typed.bind.isEmpty() || (!typed.target.isEmpty() && !isDynamic(forwarding->kind()));
}

// The form serves one forwarding after another: a field shows what was typed for this one.
void ForwardingForm::showPort(QLineEdit *field, qint32 port)
{
    const TypedPorts typed = m_typedPorts.value(keyOf(m_forwarding));
    const QString &text = field == m_bindPort ? typed.bind : typed.target;
    if (!text.isEmpty()) {
        if (field->text() != text)
            field->setText(text);
    } else if (!EditorFields::isPortText(field->text())) {
        field->setText(PortNumberFormatStyle<qint32>::format(port));
    } else {
        EditorFields::showPort(field, port);
    }
}

void ForwardingForm::setForwarding(Forwarding *forwarding)
{
    m_forwarding = forwarding;
    setEnabled(forwarding != nullptr);
    refresh();
}

QWidget *ForwardingForm::firstField() const
{
    return m_kind;
}

void ForwardingForm::refresh()
{
    if (!m_forwarding || m_forwarding->isDeleted()) {
        m_forwarding = nullptr;
        setEnabled(false);
        m_title->setText(localized("No port forwarding selected"));
        for (QLineEdit *field : {m_bindPort, m_targetAddress, m_targetPort, m_note})
            field->clear();
        m_bindAddress->setEditText(QString());
        m_enabled->setChecked(false);
        return;
    }
    const Forwarding &f = *m_forwarding;
    m_kind->setCurrentIndex(m_kind->findData(int(f.kind())));
    m_enabled->setChecked(f.enabled());
    if (EditorFields::storedText(m_bindAddress->currentText()) != f.bindAddress())
        m_bindAddress->setEditText(f.bindAddress().value_or(QString()));
    showPort(m_bindPort, f.bindPort());
    EditorFields::showText(m_targetAddress, f.targetAddress());
    showPort(m_targetPort, f.targetPort());
    if (m_note->text() != f.note().value_or(QString()))
        m_note->setText(f.note().value_or(QString()));
    showKind();
    markFields();
}

void ForwardingForm::showKind()
{
    if (!m_forwarding)
        return;
    const ForwardingType kind = m_forwarding->kind();
    m_title->setText(longTitle(kind));
    const bool hasTarget = !isDynamic(kind);
    m_targetLabel->setVisible(hasTarget);
    m_target->setVisible(hasTarget);
}

void ForwardingForm::markFields()
{
    const FieldProblems problems =
        m_forwarding ? problemsOf(m_forwarding->data()) : FieldProblems{};
    const TypedPorts typed = m_forwarding ? m_typedPorts.value(keyOf(m_forwarding)) : TypedPorts{};
    EditorFields::markInvalid(m_bindAddress, problems.bindAddress);
    EditorFields::markInvalid(m_bindPort, problems.bindPort || !typed.bind.isEmpty());
    EditorFields::markInvalid(m_targetAddress, problems.targetAddress);
    EditorFields::markInvalid(m_targetPort, problems.targetPort || !typed.target.isEmpty());
    const bool unreadable = m_forwarding && hasUnreadablePort(m_forwarding);
    m_portMessage->setText(unreadable ? EditorFields::portMessage() : QString());
}
