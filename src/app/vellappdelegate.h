#pragma once

#include "promptrequest.h"
#include "result.h"
#include "sshinvocation.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class PersistenceController;
class ServicePool;
class SessionContainer;
class Settings;
class BackupModule;
class DesktopNotifications;
class FolderSync;
class HandshakeGate;
class KeychainPromptPresenter;
class LoginItem;
class MachineMonitor;
class SettingsHistoryTokenStore;

// The application core that the desktop application and the headless daemon share: the
// settings, the store with its history service, clean-ups, backups and folder sync, the client
// configuration file, the session container, and the auto-connect pass.
class VellAppDelegate : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString storePath;
        QString settingsPath;
        QString serviceProgram;
        QString askPassProgram;
        bool autoConnect = true;
        // The autostart entry follows "launch_at_login". Only the desktop application keeps
        // one: at login it is the desktop application that should come up, and the headless
        // service is started by the service manager instead.
        bool followLoginItem = false;
    };
    // Made only by start(); the key keeps it so.
    class Key
    {
        friend class VellAppDelegate;
        Key() = default;
    };
    explicit VellAppDelegate(Key);

    static Options defaultOptions();
    // The helper beside the service program.
    static QString defaultAskPassProgram(const QString &serviceProgram);

    // Everything up and running, or the reason it could not start (the store's, most likely).
    static Result<std::unique_ptr<VellAppDelegate>> start(const Options &options);
    ~VellAppDelegate() override;

    Settings &settings() const { return *m_settings; }
    PersistenceController &store() const { return *m_store; }
    SessionContainer &container() const { return *m_container; }
    DesktopNotifications &notifications() const { return *m_notifications; }
    BackupModule &backups() const { return *m_backups; }
    FolderSync &folderSync() const { return *m_folderSync; }
    MachineMonitor &machine() const { return *m_machine; }
    // Sync is on, but its folder cannot be used: why. Said again by syncFolderUnavailable only
    // when the reason changes, not at every pass that finds the folder still away.
    std::optional<QString> syncFolderProblem() const { return m_syncProblem; }

    // What the client's command line is built from: the option catalogue, the key folder and
    // the configuration file the settings name now.
    InvocationInputs invocationInputs() const;

    // A backup follows the last change after this long a quiet time.
    static constexpr int backupDelayMs = 5000;
    // Who answers the questions of client runs that the keychain cannot answer; without one
    // they are cancelled.
    void setPromptPresenter(PromptPresenter presenter) { m_presenter = std::move(presenter); }

Q_SIGNALS:
    void syncFolderUnavailable(const QString &reason);

private:
    void autoConnect();
    void startSyncFolder();
    void checkSyncFolder();
    void followMachine();
    void startBackups();
    void startMaintenance();
    void runMaintenance();

    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<SettingsHistoryTokenStore> m_tokens;
    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<BackupModule> m_backups;
    QTimer *m_backupTimer = nullptr;
    std::unique_ptr<FolderSync> m_folderSync;
    std::optional<QString> m_syncProblem;
    std::unique_ptr<LoginItem> m_loginItem;
    std::unique_ptr<MachineMonitor> m_machine;
    std::unique_ptr<KeychainPromptPresenter> m_keychain;
    // Shared by every session, so they go after the container.
    std::unique_ptr<HandshakeGate> m_gate;
    std::unique_ptr<ServicePool> m_pool;
    std::unique_ptr<SessionContainer> m_container;
    PromptPresenter m_presenter;
};
