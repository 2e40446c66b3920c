#pragma once

#include "identitykeymanager.h"
#include "mainwindow.h"
#include "notificationpermission.h"
#include "profileeditors.h"
#include "promptdialogs.h"
#include "quitguard.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

class ProfileTransfer;
class SessionInspector;
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

    // Shows the main window, then imports the files named at start.
    void start(const QStringList &files);
    // A later start asked for the window, handing over its files.
    void activate(const QStringList &files);

    MainWindow &window() { return m_window; }
    ProfileEditors &editors() { return m_editors; }
    PromptDialogs &prompts() { return m_prompts; }
    ProfileTransfer &transfer() { return *m_transfer; }

private:
    void connectEditors();
    void placeInspector();
    void addTransferCommands();
    void presentPrompts(VellAppDelegate &app, TunnelService &service);
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
};
