#include "desktopapplication.h"

#include "aboutwindow.h"
#include "helpcommands.h"
#include "identitiessettingspage.h"
#include "knownhostssettingspage.h"
#include "localized.h"
#include "maincommands.h"
#include "navigationmodel.h"
#include "persistencecontroller.h"
#include "profileeditor.h"
#include "profiletransfer.h"
#include "projectsite.h"
#include "sessioninspector.h"
#include "settings.h"
#include "settingswindow.h"
#include "softwareupdater.h"
#include "tunnelmenubaritem.h"
#include "tunnelservice.h"
#include "updatenotices.h"
#include "updatermodel.h"
#include "updatessettingspage.h"
#include "vellappdelegate.h"
#include "windowactivation.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDesktop, "io.vellssh.desktop")

DesktopApplication::DesktopApplication(VellAppDelegate &app, TunnelService &service,
                                       const QString &serviceProgram, QObject *parent)
    : QObject(parent), m_window(app),
      m_editors(ProfileEditorServices{&app.store(), &m_identities, &app.settings(), serviceProgram,
                                      &m_permission}),
      m_guard([this]() -> QWidget * { return m_editors.editorWindow(); }),
      m_settings(app.settings()), m_settingsWindow(std::make_unique<SettingsWindow>(app))
{
    m_transfer = new ProfileTransfer(
        *app.store().mainContext(), [&app] { return app.invocationInputs(); }, &m_window);
    m_inspector = new SessionInspector(&app.container());
    connectEditors();
    placeInspector();
    addTransferCommands();
    addSettingsCommand();
    presentPrompts(app, service);
    m_menuBarItem = std::make_unique<TunnelMenuBarItem>(app.settings(), app.store().mainContext(),
                                                        &app.container());
    placeMenuBarItem();
    addHelpMenu(app.settings());
    addSettingsPages(serviceProgram);
    connect(&m_window, &MainWindow::quitRequested, &m_guard, &QuitGuard::requestQuit);
    connect(&m_window, &MainWindow::filesDropped, m_transfer, &ProfileTransfer::openFiles);
    connect(&app, &VellAppDelegate::syncFolderUnavailable, this,
            &DesktopApplication::showSyncFolderAlert);
    if (const std::optional<QString> reason = app.syncFolderProblem())
        QTimer::singleShot(0, this, [this, reason] { showSyncFolderAlert(*reason); });
}

DesktopApplication::~DesktopApplication() = default;

void DesktopApplication::start(const QStringList &files)
{
    if (files.isEmpty() && startsInTray())
        return;
    m_window.show();
    if (!files.isEmpty())
        QTimer::singleShot(0, m_transfer, [this, files] { m_transfer->openFiles(files); });
}

void DesktopApplication::activate(const QStringList &files)
{
    bringForward(&m_window);
    m_transfer->openFiles(files);
}

void DesktopApplication::showSettings()
{
    m_settingsWindow->present();
}

void DesktopApplication::showSettings(SettingsItemTag item)
{
    m_settingsWindow->setSelectedItem(item);
    m_settingsWindow->present();
}

void DesktopApplication::connectEditors()
{
    const auto opened = [this](const Result<ProfileEditor *> &editor) {
        if (!editor)
            showFailure(editor.error().message);
    };
    connect(&m_window, &MainWindow::createRequested, this, [this, opened](Tag *tag) {
        opened(m_editors.create(tag ? tag->uuid() : std::nullopt));
    });
    connect(&m_window, &MainWindow::editRequested, this,
            [this, opened](Profile *profile) { opened(m_editors.edit(*profile->uuid())); });
    connect(&m_window, &MainWindow::duplicateRequested, this,
            [this, opened](Profile *profile) { opened(m_editors.duplicate(*profile->uuid())); });
    connect(&m_editors, &ProfileEditors::profileSaved, &m_window, &MainWindow::showProfile);
    // Quit's key reaches it from an editor even while the main window is hidden.
    connect(&m_editors, &ProfileEditors::editorOpened, this,
            [this](ProfileEditor *editor) { editor->addAction(m_window.commands().quit); });
}

// The inspector follows the first selected profile.
void DesktopApplication::placeInspector()
{
    m_window.setInspector(m_inspector);
    connect(&m_window.navigation(), &NavigationModel::selectedProfilesChanged, m_inspector,
            [this](const QList<Profile *> &profiles) {
                m_inspector->setProfile(profiles.isEmpty() ? nullptr : profiles.first());
            });
}

void DesktopApplication::addTransferCommands()
{
    m_transfer->setFocusSource([this] {
        return ProfileTransfer::Focus{m_window.selectedProfiles(), m_window.selectedTag()};
    });
    NavigationModel *navigation = &m_window.navigation();
    connect(navigation, &NavigationModel::selectedProfilesChanged, m_transfer,
            &ProfileTransfer::focusChanged);
    connect(navigation, &NavigationModel::selectedSidebarItemChanged, m_transfer,
            &ProfileTransfer::focusChanged);

    QMenu *file = m_window.fileMenu();
    QAction *beforeQuit = file->actions().isEmpty() ? nullptr : file->actions().constLast();
    file->insertActions(beforeQuit, {m_transfer->importAction(), m_transfer->exportAllAction(),
                                     m_transfer->exportSelectedAction()});
    file->insertSeparator(beforeQuit);
    QMenu *edit = m_window.editMenu();
    edit->addSeparator();
    edit->addActions(
        {m_transfer->cutAction(), m_transfer->copyAction(), m_transfer->pasteAction()});
    QMenu *context = m_window.profileContextMenu();
    context->addSeparator();
    context->addActions({m_transfer->copyAction(), m_transfer->exportSelectedAction()});
}

void DesktopApplication::addSettingsCommand()
{
    QAction *settings = m_window.commands().settings;
    m_window.editMenu()->addSeparator();
    m_window.editMenu()->addAction(settings);
    // Quit's key reaches it from the settings window even while the main window is hidden.
    m_settingsWindow->addAction(m_window.commands().quit);
    connect(&m_window.commands(), &MainCommands::settingsRequested, this,
            qOverload<>(&DesktopApplication::showSettings));
}

// A question goes to the command-line client that asked for the connection when one waits;
// the rest are asked in dialogs.
void DesktopApplication::presentPrompts(VellAppDelegate &app, TunnelService &service)
{
    PromptPresenter dialogs = m_prompts.presenter();
    app.setPromptPresenter([&service, dialogs](const PromptRequest &request, PromptAnswer answer) {
        if (service.hasRequester(request.sessionUUID))
            service.present(request, std::move(answer));
        else
            dialogs(request, std::move(answer));
    });
}

void DesktopApplication::placeMenuBarItem()
{
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::openMainWindowRequested, this,
            [this] { bringForward(&m_window); });
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::quitRequested, &m_guard,
            &QuitGuard::requestQuit);
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::helpRequested, this,
            &DesktopApplication::openHelp);
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::settingsRequested, this,
            qOverload<>(&DesktopApplication::showSettings));
    // Without the item and without a window the running application could not be reached.
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::presenceChanged, this, [this](bool present) {
        if (!present)
            showWindowIfUnreachable();
    });
    connect(m_menuBarItem.get(), &TunnelMenuBarItem::hostLost, this,
            &DesktopApplication::showWindowIfUnreachable);
}

void DesktopApplication::showWindowIfUnreachable()
{
    if (!m_window.isVisible())
        m_window.show();
}

bool DesktopApplication::startsInTray() const
{
    if (m_settings.get(SettingKeys::appIconMode) != AppIconMode::menuBar)
        return false;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return true;
    qCWarning(lcDesktop, "The desktop shows no tray items, so the main window opens in place of "
                         "the menu bar icon.");
    return false;
}

void DesktopApplication::showAbout()
{
    if (!m_about) {
        m_about = new AboutWindow(ProjectSite::applicationVersion(), &m_window);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringForward(m_about);
}

void DesktopApplication::openHelp()
{
    QDesktopServices::openUrl(ProjectSite::helpHome());
}

// Automatic checks start from main(), never with the desktop alone, so that a desktop made in a
// test stays off the network.
void DesktopApplication::addHelpMenu(Settings &settings)
{
    m_updater = new SoftwareUpdater(settings, SoftwareUpdater::defaultOptions(), this);
    m_updaterModel = new UpdaterModel(*m_updater, this);
    m_updateNotices = new UpdateNotices(*m_updater, &m_window);
    m_help = new HelpCommands(*m_updaterModel, this);
    connect(m_help, &HelpCommands::aboutRequested, this, &DesktopApplication::showAbout);
    m_help->addTo(m_window.menuBar()->addMenu(localized("&Help")));
}

void DesktopApplication::addSettingsPages(const QString &serviceProgram)
{
    m_settingsWindow->setPage(SettingsItemTag::identities,
                              new IdentitiesSettingsPage(m_identities));
    m_settingsWindow->setPage(SettingsItemTag::knownHosts,
                              new KnownHostsSettingsPage(serviceProgram));
    m_settingsWindow->setPage(SettingsItemTag::updates, new UpdatesSettingsPage(*m_updaterModel));
}

void DesktopApplication::showFailure(const QString &message)
{
    QMessageBox::warning(&m_window, QApplication::applicationDisplayName(), message);
}

// One alert at a time: a new reason replaces the text of the one still open.
void DesktopApplication::showSyncFolderAlert(const QString &reason)
{
    if (!m_syncAlert) {
        m_syncAlert = new QMessageBox(QMessageBox::Warning, localized("Sync Folder Unavailable"),
                                      QString(), QMessageBox::Ok, &m_window);
        m_syncAlert->setAttribute(Qt::WA_DeleteOnClose);
        m_syncAlert->setInformativeText(
            localized("Sync stays paused until the folder can be used. Choose a sync folder in "
                      "Settings."));
    }
    m_syncAlert->setText(reason);
    m_syncAlert->open();
}
