#include "vellappdelegate.h"

#include "backups.h"
#include "desktopnotifications.h"
#include "foldersync.h"
#include "handshakegate.h"
#include "identitykeymanager.h"
#include "keychainpromptpresenter.h"
#include "localized.h"
#include "loginitem.h"
#include "machinemonitor.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "queries.h"
#include "servicepool.h"
#include "serviceprocess.h"
#include "sessioncontainer.h"
#include "settings.h"
#include "sshclientconfig.h"
#include "systemconfig.h"

#include <QFileInfo>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcApp, "io.vellssh.app")

VellAppDelegate::Options VellAppDelegate::defaultOptions()
{
    const QString service = ServiceProcess::defaultProgram();
    return {PersistenceController::defaultStorePath(), Settings::defaultFilePath(), service,
            defaultAskPassProgram(service), true};
}

QString VellAppDelegate::defaultAskPassProgram(const QString &serviceProgram)
{
    return QFileInfo(serviceProgram).absolutePath() + u"/vellssh-askpass"_s;
}

VellAppDelegate::VellAppDelegate(Key) {}

InvocationInputs VellAppDelegate::invocationInputs() const
{
    return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                            IdentityKeyManager::defaultDirectory(),
                            m_settings->get(SettingKeys::userConfigFilePath)};
}

VellAppDelegate::~VellAppDelegate()
{
    // Tunnels end with the application: sessions go before the store they read.
    m_container.reset();
}

Result<std::unique_ptr<VellAppDelegate>> VellAppDelegate::start(const Options &options)
{
    auto app = std::make_unique<VellAppDelegate>(Key());
    app->m_gate = std::make_unique<HandshakeGate>();
    app->m_pool = std::make_unique<ServicePool>();
    app->m_pool->setEnabled(true);
    app->m_settings = std::make_unique<Settings>(options.settingsPath);
    if (auto problem = app->m_settings->takeProblem())
        qCWarning(lcApp).noquote() << problem->message;
    auto store = PersistenceController::open(StoreLocation::file(options.storePath));
    if (!store)
        return Error(localized("Local Store Error") + u": "_s + store.error().message);
    app->m_store = std::move(store).value();
    app->m_tokens = std::make_unique<SettingsHistoryTokenStore>(*app->m_settings,
                                                                PersistenceController::appAuthor);
    app->m_store->startHistoryTracking(app->m_tokens.get());

    ObjectContext &context = *app->m_store->mainContext();
    if (options.followLoginItem) {
        app->m_loginItem = std::make_unique<LoginItem>();
        app->m_loginItem->follow(*app->m_settings);
    }
    app->startMaintenance();
    app->startSyncFolder();
    app->startBackups();
    if (auto error = ensureSystemConfigFile())
        qCWarning(lcApp).noquote() << error->message;

    app->m_notifications = std::make_unique<DesktopNotifications>();
    Settings *settings = app->m_settings.get();
    VellAppDelegate *core = app.get();
    auto invocation = [core] { return core->invocationInputs(); };
    const QString askPass = options.askPassProgram;
    auto environment = [settings, askPass] {
        ChildEnvironmentInputs inputs;
        inputs.userVariables = settings->get(SettingKeys::environmentVariables);
        inputs.authAgentSocket = settings->get(SettingKeys::authAgentUnixSock);
        inputs.askPassProgram = askPass;
        return inputs;
    };
    app->m_keychain = std::make_unique<KeychainPromptPresenter>(
        std::make_shared<Keychain>(),
        [delegate = app.get()](const PromptRequest &request, PromptAnswer answer) {
            if (delegate->m_presenter)
                delegate->m_presenter(request, std::move(answer));
            else
                answer(std::nullopt);
        },
        [delegate = app.get()](const PromptRequest &request, const QString &problem) {
            if (TunnelSession *session =
                    delegate->m_container->existingSession(request.sessionUUID))
                session->logMessage(Logger::Level::warning, problem);
        });
    app->m_container = std::make_unique<SessionContainer>(
        &context, invocation, SSHClientConfig::shared().strictOptionNames(),
        SecureSession::Services{
            options.serviceProgram, environment, app->m_notifications.get(),
            [keychain = app->m_keychain.get()](const PromptRequest &request, PromptAnswer answer) {
                keychain->present(request, std::move(answer));
            },
            app->m_gate.get(), app->m_pool.get()});
    SessionContainer *container = app->m_container.get();
    bool initial = true;
    settings->updates<QString>(SettingKeys::userConfigFilePath, app.get(),
                               [container, initial](const QString &) mutable {
                                   if (!std::exchange(initial, false))
                                       container->refreshAll();
                               });
    app->followMachine();
    if (options.autoConnect)
        QMetaObject::invokeMethod(app.get(), &VellAppDelegate::autoConnect, Qt::QueuedConnection);
    return app;
}

void VellAppDelegate::startSyncFolder()
{
    m_folderSync = std::make_unique<FolderSync>(*m_settings, *m_store);
    connect(m_folderSync.get(), &FolderSync::failed, this, &VellAppDelegate::checkSyncFolder);
    connect(m_folderSync.get(), &FolderSync::passed, this, &VellAppDelegate::checkSyncFolder);
    m_settings->updates<bool>(SettingKeys::iCloudSync, this, [this](bool) { checkSyncFolder(); });
    m_settings->updates<std::optional<QString>>(SettingKeys::syncFolderPath, this,
                                                [this](const auto &) { checkSyncFolder(); });
}

void VellAppDelegate::checkSyncFolder()
{
    const Status problem = ::syncFolderProblem(*m_settings);
    const std::optional<QString> reason = problem ? std::optional(problem->message) : std::nullopt;
    if (std::exchange(m_syncProblem, reason) == reason || !reason)
        return;
    qCWarning(lcApp).noquote() << *reason;
    Q_EMIT syncFolderUnavailable(*reason);
}

// Sessions that dropped while the machine slept or was offline come back as soon as it can
// reach anything again, rather than waiting for their next try or staying given up.
void VellAppDelegate::followMachine()
{
    m_machine = std::make_unique<MachineMonitor>();
    SessionContainer *container = m_container.get();
    container->setNetworkAvailable(m_machine->isOnline());
    connect(m_machine.get(), &MachineMonitor::onlineChanged, container,
            &SessionContainer::setNetworkAvailable);
    connect(m_machine.get(), &MachineMonitor::resumed, container,
            &SessionContainer::machineResumed);
}

void VellAppDelegate::runMaintenance()
{
    ObjectContext &context = *m_store->mainContext();
    for (const Status &error : {PersistenceController::purgeExpiredTrash(context),
                                PersistenceController::purgeTagsWithoutUUID(context)}) {
        if (error)
            qCWarning(lcApp).noquote() << "store maintenance:" << error->message;
    }
}

// Once at start and once a day after: the trash past its time, tags without uuid.
void VellAppDelegate::startMaintenance()
{
    runMaintenance();
    auto *daily = new QTimer(this);
    daily->setInterval(std::chrono::hours(24));
    connect(daily, &QTimer::timeout, this, &VellAppDelegate::runMaintenance);
    daily->start();
}

// Every change to the library, whether made here or merged from another process, is followed
// by one backup once things have been quiet for a moment.
void VellAppDelegate::startBackups()
{
    Settings *settings = m_settings.get();
    m_backups = backupModule(*settings);
    settings->updates<std::optional<QString>>(
        SettingKeys::syncFolderBookmark, this,
        [this](const std::optional<QString> &) { m_backups->reload(); });
    m_backupTimer = new QTimer(this);
    m_backupTimer->setSingleShot(true);
    m_backupTimer->setInterval(backupDelayMs);
    connect(m_backupTimer, &QTimer::timeout, this, [this] {
        const auto written = m_backups->backUp(*m_store->mainContext());
        if (!written)
            qCWarning(lcApp).noquote() << localized("Auto Backup Error") << written.error().message;
    });
    connect(m_store->mainContext(), &ObjectContext::objectsDidChange, m_backupTimer,
            qOverload<>(&QTimer::start));
}

void VellAppDelegate::autoConnect()
{
    QList<Profile *> profiles = profilesIn(*m_store->mainContext(), SidebarItem::all());
    profiles.removeIf([](const Profile *p) { return !p->autoConnect(); });
    m_container->connectAll(profiles);
}
