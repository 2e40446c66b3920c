#pragma once

#include "identitykeymanager.h"
#include "mainwindow.h"
#include "notificationpermission.h"
#include "profileeditors.h"
#include "promptdialogs.h"
#include "quitguard.h"
#include "settingsitemtag.h"

#include <QObject>
#include <QStringList>

#include <memory>

class ProfileTransfer;
class SessionInspector;
class SettingsWindow;
class SingleInstance;
class TunnelService;
class VellAppDelegate;

// The desktop on top of the running core: the main window with its inspector, the profile
// editors, the prompt dialogs, the exchange of profiles, and the quit check. It meets the
// windows' requests with the controller that does the work.
class DesktopApplication : public QObject
{
    Q_OBJECT

public:
    DesktopApplication(VellAppDelegate &app, TunnelService &service, const QString &serviceProgram,
                       QObject *parent = nullptr);
    ~DesktopApplication() override;

    // Shows the main window, then imports the files named at start.
    void start(const QStringList &files);
    // A later start asked for the window, handing over its files.
    void activate(const QStringList &files);
    // The settings window in front, on the tab chosen last or on the one given.
    void showSettings();
    void showSettings(SettingsItemTag item);

    MainWindow &window() { return m_window; }
    ProfileEditors &editors() { return m_editors; }
    PromptDialogs &prompts() { return m_prompts; }
    ProfileTransfer &transfer() { return *m_transfer; }
    // Pages that other parts build go in with its setPage.
    SettingsWindow &settingsWindow() { return *m_settings; }

private:
    void connectEditors();
    void placeInspector();
    void addTransferCommands();
    void addSettingsCommand();
    void presentPrompts(VellAppDelegate &app, TunnelService &service);
    void showFailure(const QString &message);

    IdentityKeyManager m_identities;
    NotificationPermission m_permission;
    MainWindow m_window;
    ProfileEditors m_editors;
    PromptDialogs m_prompts;
    QuitGuard m_guard;
    ProfileTransfer *m_transfer = nullptr;
    SessionInspector *m_inspector = nullptr;
    std::unique_ptr<SettingsWindow> m_settings;
};
