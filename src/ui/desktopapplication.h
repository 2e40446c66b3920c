#pragma once

#include "identitykeymanager.h"
#include "mainwindow.h"
#include "notificationpermission.h"
#include "profileeditors.h"
#include "promptdialogs.h"
#include "quitguard.h"
#include "settingsitemtag.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class AboutWindow;
class HelpCommands;
class ProfileTransfer;
class SessionInspector;
class Settings;
class ProfileTransfer;
class SessionInspector;
class SettingsWindow;
class SingleInstance;
class TunnelMenuBarItem;
class SoftwareUpdater;
class TunnelService;
class UpdateNotices;
class UpdaterModel;
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

    // Shows the main window, unless the tray item alone stands for the application and there
    // are no files to import; then imports the files named at start.
    void start(const QStringList &files);
    // A later start asked for the window, handing over its files.
    void activate(const QStringList &files);
    // The settings window in front, on the tab chosen last or on the one given.
    void showSettings();
    void showSettings(SettingsItemTag item);

    // The identity folder that the editors and the identities settings page share.
    IdentityKeyManager &identities() { return m_identities; }
    MainWindow &window() { return m_window; }
    ProfileEditors &editors() { return m_editors; }
    PromptDialogs &prompts() { return m_prompts; }
    ProfileTransfer &transfer() { return *m_transfer; }
    // Its settingsRequested() and helpRequested() are for the settings window and the help.
    TunnelMenuBarItem &menuBarItem() { return *m_menuBarItem; }
    SoftwareUpdater &updater() { return *m_updater; }
    // What the settings window's Updates tab (UpdatesSettingsPage) shows and changes.
    UpdaterModel &updaterModel() { return *m_updaterModel; }
    HelpCommands &help() { return *m_help; }

    // The "about" window, one at a time.
    void showAbout();
    // The help pages in the browser.
    void openHelp();
    // Pages that other parts build go in with its setPage.
    SettingsWindow &settingsWindow() { return *m_settingsWindow; }

private:
    void connectEditors();
    void placeInspector();
    void addTransferCommands();
    void addSettingsCommand();
    void presentPrompts(VellAppDelegate &app, TunnelService &service);
    void placeMenuBarItem();
    // Shows the main window unless it is visible already.
    void showWindowIfUnreachable();
    bool startsInTray() const;
    void addHelpMenu(Settings &settings);
    void addSettingsPages(const QString &serviceProgram);
    void showFailure(const QString &message);
    void showSyncFolderAlert(const QString &reason);

    IdentityKeyManager m_identities;
    NotificationPermission m_permission;
    MainWindow m_window;
    ProfileEditors m_editors;
    PromptDialogs m_prompts;
    QuitGuard m_guard;
    QPointer<QMessageBox> m_syncAlert;
    ProfileTransfer *m_transfer = nullptr;
    SessionInspector *m_inspector = nullptr;
    std::unique_ptr<TunnelMenuBarItem> m_menuBarItem;
    Settings &m_settings;
    SoftwareUpdater *m_updater = nullptr;
    UpdaterModel *m_updaterModel = nullptr;
    UpdateNotices *m_updateNotices = nullptr;
    HelpCommands *m_help = nullptr;
    QPointer<AboutWindow> m_about;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
};
