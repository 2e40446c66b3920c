#include "profileeditor.h"

#include "advancedpage.h"
#include "connectionpage.h"
#include "editorfields.h"
#include "forwardingeditor.h"
#include "forwardinglistmodel.h"
#include "generalpage.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "objectcontext.h"
#include "optioncatalogueeditor.h"
#include "optionsevaluator.h"
#include "profile.h"
#include "profiledraft.h"
#include "profilevalidationform.h"
#include "settings.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int evaluationDelayMs = 400;

void fillForm(ProfileValidationForm &form, const Profile &profile)
{
    using Field = ProfileValidationForm::Field;
    form.setText(Field::profileName, profile.name().value_or(QString()));
    form.setText(Field::hostName, profile.address().value_or(QString()));
    form.setText(Field::loginName, profile.user().value_or(QString()));
}

// What an evaluation depends on: a new one is due when this changes.
QString evaluationTarget(const Profile &profile)
{
    return u"%1@%2:%3"_s.arg(profile.user().value_or(QString()),
                             profile.address().value_or(QString()),
                             QString::number(profile.port()));
}

} // namespace

ProfileEditor::ProfileEditor(std::unique_ptr<ProfileDraft> draft,
                             const ProfileEditorServices &services, QWidget *parent)
    : QDialog(parent), m_draft(std::move(draft)), m_services(services)
{
    if (!m_services.serviceProgram.isEmpty())
        m_evaluator = std::make_unique<OptionsEvaluator>(m_services.serviceProgram);
    m_evaluationDelay = new QTimer(this);
    m_evaluationDelay->setSingleShot(true);
    m_evaluationDelay->setInterval(evaluationDelayMs);
    build();
    connectDraft();
    showProfile();
    startEvaluation();
}

ProfileEditor::~ProfileEditor() = default;

QUuid ProfileEditor::profileUuid() const
{
    return m_draft->uuid();
}

void ProfileEditor::build()
{
    setObjectName(u"profile-editor"_s);
    setMinimumSize(760, 620);
    resize(defaultSize);
    setStyleSheet(EditorFields::styleSheet());

    m_banner = new QLabel;
    m_banner->setWordWrap(true);
    m_banner->setVisible(false);
    m_banner->setFrameShape(QFrame::StyledPanel);
    m_banner->setMargin(6);

    m_general = new GeneralPage;
    m_connection = new ConnectionPage(m_services.identities, m_services.notifications);
    m_advanced = new AdvancedPage(m_services.settings);
    m_pages = new QTabWidget;
    m_pages->addTab(m_general, localized("General"));
    m_pages->addTab(m_connection, localized("Connection"));
    m_pages->addTab(m_advanced, localized("Advanced"));
    for (int page = 0; page < m_pages->count(); ++page) {
        auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + page)), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, page] { m_pages->setCurrentIndex(page); });
    }

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_banner);
    layout->addWidget(m_pages, 1);
    layout->addWidget(makeButtons());
    m_general->nameField()->setFocus();
}

QWidget *ProfileEditor::makeButtons()
{
    m_hint = new QLabel;
    m_hint->setProperty("message", true);
    m_hint->setWordWrap(true);
    m_save = new QPushButton(localized("Save"));
    m_save->setDefault(true);
    m_save->setToolTip(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText));
    m_cancel = new QPushButton(localized("Cancel"));
    connect(m_save, &QPushButton::clicked, this, &ProfileEditor::save);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *saveShortcut = new QShortcut(QKeySequence::Save, this);
    connect(saveShortcut, &QShortcut::activated, this, &ProfileEditor::save);

    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins({});
    row->addWidget(m_hint, 1);
    row->addWidget(m_cancel);
    row->addWidget(m_save);
    return bar;
}

void ProfileEditor::connectDraft()
{
    connect(&m_draft->context(), &ObjectContext::objectsDidChange, this,
            &ProfileEditor::draftChanged);
    connect(m_draft.get(), &ProfileDraft::refreshed, this, [this](bool changedElsewhere) {
        m_general->refresh();
        m_connection->refresh();
        m_advanced->options()->refreshValues();
        if (changedElsewhere)
            showBanner(localized("This profile was changed elsewhere. The changes are shown "
                                 "here; what you edited is kept."));
    });
    connect(m_draft.get(), &ProfileDraft::profileGone, this, [this] {
        showProfile();
        showBanner(localized("This profile was deleted elsewhere. Saving creates it again as a "
                             "new profile."));
    });
    connect(m_draft.get(), &ProfileDraft::profileTrashed, this, [this] {
        showBanner(localized("This profile was moved to Recently Deleted elsewhere. Saving brings "
                             "it back."));
    });
    if (m_evaluator) {
        connect(m_evaluator.get(), &OptionsEvaluator::defaultValuesChanged, this,
                &ProfileEditor::showEffectiveValues);
        connect(m_evaluator.get(), &OptionsEvaluator::finished, this, [this] {
            if (std::exchange(m_evaluationPending, false))
                startEvaluation();
        });
        connect(m_evaluationDelay, &QTimer::timeout, this, &ProfileEditor::startEvaluation);
    }
    if (m_services.settings)
        connect(m_services.settings, &Settings::changed, this, &ProfileEditor::updateCommand);
    auto edited = [this] { showValidation(); };
    connect(m_general, &GeneralPage::edited, this, edited);
    connect(m_connection, &ConnectionPage::edited, this, edited);
    connect(m_advanced->options(), &OptionCatalogueEditor::edited, this, edited);
}

void ProfileEditor::showProfile()
{
    Profile *profile = m_draft->profile();
    setWindowTitle(editorTitle(m_draft->mode()));
    m_general->setProfile(&m_draft->context(), profile);
    m_connection->setProfile(profile);
    m_advanced->options()->setProfile(profile);
    updateCommand();
    showValidation();
}

void ProfileEditor::draftChanged()
{
    updateCommand();
    showValidation();
    requestEvaluation();
    const QString inTrash = localized("This profile is in the trash.");
    if (m_draft->profile()->isInTrash())
        showBanner(inTrash);
    else if (m_banner->text() == inTrash)
        showBanner(QString());
}

void ProfileEditor::showBanner(const QString &text)
{
    m_banner->setText(text);
    m_banner->setVisible(!text.isEmpty());
}

QString ProfileEditor::userConfigFile() const
{
    return m_services.settings ? m_services.settings->get(SettingKeys::userConfigFilePath)
                               : QString();
}

void ProfileEditor::updateCommand()
{
    const QString keys = m_services.identities ? m_services.identities->identityKeysDirectory()
                                               : IdentityKeyManager::defaultDirectory();
    const InvocationInputs inputs{SSHClientConfig::shared().knownOptionNameSet(), keys,
                                  userConfigFile()};
    m_advanced->setCommand(sshInvocation(*m_draft->profile(), inputs).command);
}

void ProfileEditor::requestEvaluation()
{
    if (m_evaluator && evaluationTarget(*m_draft->profile()) != m_evaluatedTarget)
        m_evaluationDelay->start();
}

void ProfileEditor::startEvaluation()
{
    if (!m_evaluator)
        return;
    if (m_evaluator->isRunning()) {
        m_evaluationPending = true;
        return;
    }
    const Profile &p = *m_draft->profile();
    m_evaluatedTarget = evaluationTarget(p);
    const quint16 port = p.port() >= 0 && p.port() <= 65535 ? quint16(p.port()) : 0;
    m_evaluator->evaluate(p.address().value_or(QString()).trimmed(), port,
                          p.user().value_or(QString()).trimmed(), userConfigFile());
}

void ProfileEditor::showEffectiveValues()
{
    m_general->setEffectivePort(m_evaluator->port());
    m_connection->setEffectiveSwitches(m_evaluator->compression(), m_evaluator->forwardAgent());
    m_advanced->options()->setEffectiveValues(m_evaluator->defaultValues());
}

QWidget *ProfileEditor::showValidation()
{
    const Profile &profile = *m_draft->profile();
    ProfileValidationForm form;
    fillForm(form, profile);
    const auto problems = ProfileValidationForm::fieldProblems(profile.data());
    // Empty required fields are pointed out once a save was refused, not while a new profile
    // is being filled in; what a field holds is checked as it is typed.
    const bool general = m_general->showMessages(m_validating ? &form : nullptr, problems) ||
                         m_general->forwardings()->firstRowWithUnreadablePort() >= 0;
    const bool connection = m_connection->showMessages(problems);
    const bool advanced = m_advanced->showMessages(problems);
    if (m_validating && m_general->forwardings()->model()->allAcceptable())
        m_general->forwardings()->showInvalidValues(false);
    QWidget *page = nullptr;
    if (general)
        page = m_general;
    else if (connection)
        page = m_connection;
    else if (advanced)
        page = m_advanced;
    if (!page && m_hint->text() == ProfileValidationForm::fillInHint())
        m_hint->clear();
    return page;
}

bool ProfileEditor::save()
{
    m_validating = true;
    if (QWidget *page = showValidation()) {
        m_hint->setText(ProfileValidationForm::fillInHint());
        m_pages->setCurrentWidget(page);
        ForwardingEditor *forwardings = m_general->forwardings();
        if (const int row = forwardings->firstRowWithUnreadablePort(); row >= 0)
            forwardings->selectRow(row);
        return false;
    }
    if (const Status error = m_draft->save()) {
        showSaveError(*error);
        return false;
    }
    m_hint->clear();
    Q_EMIT saved(m_draft->uuid());
    accept();
    return true;
}

void ProfileEditor::showSaveError(const Error &error)
{
    if (error.message == ProfileValidationForm::invalidForwardingsMessage()) {
        m_pages->setCurrentWidget(m_general);
        ForwardingEditor *forwardings = m_general->forwardings();
        forwardings->showInvalidValues(true);
        for (int row = 0; row < forwardings->model()->rowCount(); ++row) {
            const QModelIndex index = forwardings->model()->index(row);
            if (!index.data(ForwardingListModel::acceptableRole).toBool()) {
                forwardings->selectRow(row);
                break;
            }
        }
        m_hint->setText(error.message);
        return;
    }
    const Profile &profile = *m_draft->profile();
    const Status taken = ProfileValidationForm::checkNameAvailable(
        profile.name().value_or(QString()), &profile, m_draft->context());
    if (taken && taken->message == error.message) {
        m_pages->setCurrentWidget(m_general);
        m_general->showNameMessage(error.message);
        m_general->nameField()->setFocus();
    }
    // Beside the buttons too: the field's own line is redrawn as the person types.
    m_hint->setText(error.recoverySuggestion.isEmpty()
                        ? error.message
                        : error.message + u'\n' + error.recoverySuggestion);
}
