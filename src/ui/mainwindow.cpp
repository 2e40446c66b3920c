#include "mainwindow.h"

#include "confirmations.h"
#include "desktopnotifications.h"
#include "localized.h"
#include "maincommands.h"
#include "navigationmodel.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilelistmodel.h"
#include "profilelistview.h"
#include "settings.h"
#include "sidebarmodel.h"
#include "sidebarview.h"
#include "tag.h"
#include "vellappdelegate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int sidebarWidth = 220;
// Wide enough for a cipher's name on one line.
constexpr int inspectorWidth = 380;
const QString inspectorPane = u"inspector"_s;

} // namespace

QString trashNote()
{
    static constexpr char key[] = "PROFILES_TRASHBIN_NOTES";
    const QString translated = localized(key);
    if (translated != QLatin1String(key))
        return translated;
    return u"Profiles stay in Recently Deleted for 30 days. After that, they are deleted "
           u"permanently."_s;
}

MainWindow::MainWindow(VellAppDelegate &app, QWidget *parent)
    : QMainWindow(parent), m_context(app.store().mainContext()), m_container(&app.container()),
      m_stateFile(WindowStateFile::besideSettings(app.settings().filePath()))
{
    setObjectName(u"tunnel-main"_s);
    setWindowTitle(u"VellSSH"_s);
    setMinimumSize(640, 400);
    auto invocation = [&app] { return app.invocationInputs(); };
    m_navigation = new NavigationModel(this);
    connect(
        m_context, &ObjectContext::objectsDidChange, m_navigation,
        [this](const ObjectsDidChange &change) { m_navigation->forgetDeleted(change.deleted); });
    m_sidebarModel = new SidebarModel(m_context, this);
    m_profileModel = new ProfileListModel(m_context, m_container, invocation, this);
    buildLayout();
    m_commands = new MainCommands(m_context, m_container, m_navigation, this, m_sidebar);
    buildMenus();
    connectViews();
    connectCommands();
    resize(defaultSize);
    m_stateFile.restore(*this, {m_splitter, m_contentSplitter}, m_list->header());
    m_list->fitColumns();
    m_commands->showInspector->setChecked(m_stateFile.isShown(inspectorPane));
    connect(&app.notifications(), &DesktopNotifications::profileActivated, this,
            &MainWindow::showProfile);
    m_sidebar->setCurrentIndex(m_sidebarModel->indexOf(SidebarItem::all()));
}

MainWindow::~MainWindow()
{
    saveWindowState();
    // Focus moves while the views go away; the commands must not look at them then.
    QObject::disconnect(qApp, nullptr, m_commands, nullptr);
}

void MainWindow::buildLayout()
{
    m_sidebar = new SidebarView;
    m_sidebar->setObjectName(u"sidebar"_s);
    m_sidebar->setAccessibleName(localized("Sidebar"));
    // Connected before the view's selection follows a removed row to its neighbour, so that
    // the list is not filled for that neighbour on the way to All.
    connect(m_sidebarModel, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &MainWindow::keepSidebarChoice);
    m_sidebar->setModel(m_sidebarModel);
    m_sidebar->setEditTriggers(QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::DoubleClicked);
    m_sidebar->setUniformItemSizes(true);
    m_sidebar->setSpacing(3);
    m_sidebar->setContextMenuPolicy(Qt::CustomContextMenu);
    m_sidebar->setMinimumWidth(160);

    m_inspectorPane = new QWidget;
    m_inspectorPane->setObjectName(u"inspectorPane"_s);
    auto *inspectorLayout = new QVBoxLayout(m_inspectorPane);
    inspectorLayout->setContentsMargins(0, 0, 0, 0);
    m_inspectorPane->hide();

    m_contentSplitter = new QSplitter(Qt::Horizontal);
    m_contentSplitter->setObjectName(u"contentSplitter"_s);
    m_contentSplitter->addWidget(buildListPane());
    m_contentSplitter->addWidget(m_inspectorPane);
    m_contentSplitter->setStretchFactor(0, 1);
    m_contentSplitter->setChildrenCollapsible(false);
    // Kept for the inspector while it is hidden, so that it opens at a readable width.
    m_contentSplitter->setSizes(
        {defaultSize.width() - sidebarWidth - inspectorWidth, inspectorWidth});

    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(u"sidebarSplitter"_s);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_contentSplitter);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({sidebarWidth, defaultSize.width() - sidebarWidth});
    auto *central = new QWidget;
    auto *margins = new QVBoxLayout(central);
    margins->setContentsMargins(6, 6, 6, 6);
    margins->addWidget(m_splitter);
    setCentralWidget(central);

    setTabOrder(m_sidebar, m_search);
    setTabOrder(m_search, m_list);
}

QWidget *MainWindow::buildListPane()
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_search = new QLineEdit;
    m_search->setObjectName(u"search"_s);
    m_search->setPlaceholderText(localized("Find"));
    m_search->setAccessibleName(localized("Find"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    layout->addWidget(m_search);

    m_trashNote = new QLabel(trashNote());
    m_trashNote->setObjectName(u"trashNote"_s);
    m_trashNote->setWordWrap(true);
    m_trashNote->setContentsMargins(6, 4, 6, 4);
    m_trashNote->hide();
    layout->addWidget(m_trashNote);

    m_list = new ProfileListView;
    m_list->setObjectName(u"profileList"_s);
    m_list->setAccessibleName(localized("Tunnels"));
    m_list->setProfileModel(m_profileModel);
    m_list->setMinimumWidth(320);
    layout->addWidget(m_list, 1);
    return pane;
}

void MainWindow::buildMenus()
{
    const MainCommands &c = *m_commands;
    m_fileMenu = menuBar()->addMenu(localized("&File"));
    m_fileMenu->addActions({c.newTunnel, c.newTag});
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(c.quit);

    m_editMenu = menuBar()->addMenu(localized("&Edit"));
    m_editMenu->addActions({c.undo, c.redo});
    m_editMenu->addSeparator();
    m_editMenu->addActions({c.deleteProfiles, c.deletePermanently, c.recover, c.emptyTrash});
    m_editMenu->addSeparator();
    m_editMenu->addAction(c.find);

    m_tunnelMenu = menuBar()->addMenu(localized("&Tunnel"));
    m_tunnelMenu->addActions({c.editProfile, c.duplicateTunnel, c.pin});
    m_tunnelMenu->addSeparator();
    m_tunnelMenu->addActions({c.connectTunnels, c.disconnectTunnels, c.openInShell});
    m_tunnelMenu->addSeparator();
    m_tunnelMenu->addActions({c.connectAll, c.disconnectAll});

    m_viewMenu = menuBar()->addMenu(localized("&View"));
    m_viewMenu->addAction(c.showInspector);

    m_profileMenu = new QMenu(this);
    m_profileMenu->addActions({c.editProfile, c.duplicateTunnel, c.pin});
    m_profileMenu->addSeparator();
    m_profileMenu->addActions({c.connectTunnels, c.disconnectTunnels});
    m_profileMenu->addSeparator();
    m_profileMenu->addActions({c.recover, c.deleteProfiles, c.deletePermanently});

    m_sidebarMenu = new QMenu(this);
    m_sidebarMenu->addActions({c.newTag, c.renameTag, c.deleteTag});
    m_sidebarMenu->addSeparator();
    m_sidebarMenu->addActions({c.connectAll, c.disconnectAll});
    m_sidebarMenu->addSeparator();
    m_sidebarMenu->addAction(c.emptyTrash);

    for (QMenu *menu :
         {m_fileMenu, m_editMenu, m_tunnelMenu, m_viewMenu, m_profileMenu, m_sidebarMenu})
        connect(menu, &QMenu::aboutToShow, m_commands, &MainCommands::update);
}

void MainWindow::connectViews()
{
    connect(m_sidebar->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { sidebarItemChosen(current); });
    connect(m_sidebarModel, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (std::exchange(m_sidebarChoiceRemoved, false))
            m_sidebar->setCurrentIndex(m_sidebarModel->indexOf(SidebarItem::all()));
    });
    connect(m_sidebarModel, &SidebarModel::tagNameRejected, this, [this](const Error &error) {
        // The user meant to rename it: once the reason is read, the name is open again.
        const QPersistentModelIndex tag = m_sidebar->currentIndex();
        showError(this, error, [this, tag] {
            if (tag.isValid())
                m_sidebar->edit(tag);
        });
    });
    connect(m_sidebarModel, &SidebarModel::editFailed, this,
            [this](const Error &error) { showError(this, error); });
    connect(m_sidebar, &QWidget::customContextMenuRequested, this, &MainWindow::showSidebarMenu);

    connect(m_navigation, &NavigationModel::selectedSidebarItemChanged, this,
            [this](const SidebarItem &item) {
                m_profileModel->setSidebarItem(item);
                m_trashNote->setVisible(item.kind == SidebarItem::Kind::recentDeleted);
                updateEmptyText();
            });
    connect(
        m_list, &ProfileListView::selectedProfilesChanged, m_navigation,
        [this](const QList<Profile *> &profiles) { m_navigation->setSelectedProfiles(profiles); });
    connect(m_navigation, &NavigationModel::selectedProfilesChanged, this,
            [this](const QList<Profile *> &profiles) {
                if (!m_navigation->shouldScrollToSelection())
                    return;
                m_navigation->clearScrollRequest();
                m_list->selectProfiles(profiles, true);
            });
    connect(m_list, &QAbstractItemView::activated, m_commands->editProfile, &QAction::trigger);
    connect(m_list, &QWidget::customContextMenuRequested, this, &MainWindow::showProfileMenu);
    connect(m_search, &QLineEdit::textChanged, m_profileModel, &ProfileListModel::setSearchText);
    connect(m_search, &QLineEdit::textChanged, this, &MainWindow::updateEmptyText);
    connect(m_list, &ProfileListView::filesDropped, this, &MainWindow::filesDropped);
    updateEmptyText();
}

void MainWindow::connectCommands()
{
    connect(m_commands, &MainCommands::createRequested, this, &MainWindow::createRequested);
    connect(m_commands, &MainCommands::editRequested, this, &MainWindow::editRequested);
    connect(m_commands, &MainCommands::duplicateRequested, this, &MainWindow::duplicateRequested);
    connect(m_commands, &MainCommands::findRequested, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    connect(m_commands, &MainCommands::tagCreated, this, &MainWindow::editNewTag);
    connect(m_commands, &MainCommands::renameTagRequested, this, [this](Tag *tag) {
        const QModelIndex index = m_sidebarModel->indexOf(SidebarItem::forTag(tag));
        m_sidebar->setCurrentIndex(index);
        m_sidebar->edit(index);
    });
    connect(m_commands, &MainCommands::quitRequested, this, &MainWindow::quitRequested);
    connect(m_commands->showInspector, &QAction::toggled, this, [this](bool shown) {
        m_inspectorPane->setVisible(shown);
        Q_EMIT inspectorToggled(shown);
    });
    for (QAction *removing : {m_commands->deleteProfiles, m_commands->recover})
        connect(removing, &QAction::triggered, this, &MainWindow::selectCurrentAfterRemoval);
}

QList<Profile *> MainWindow::selectedProfiles() const
{
    return m_navigation->selectedProfiles();
}

Tag *MainWindow::selectedTag() const
{
    return m_navigation->selectedSidebarItem().tag;
}

SidebarItem MainWindow::selectedSidebarItem() const
{
    return m_navigation->selectedSidebarItem();
}

void MainWindow::showProfile(const QUuid &uuid)
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    Profile *found = nullptr;
    for (Profile *profile : m_context->profiles()) {
        if (profile->uuid() == uuid && isValidProfile(profile) && !profile->isInTrash()) {
            found = profile;
            break;
        }
    }
    if (!found)
        return;
    if (!m_profileModel->indexOf(found).isValid()) {
        m_search->clear();
        m_sidebar->setCurrentIndex(m_sidebarModel->indexOf(SidebarItem::all()));
    }
    m_navigation->setSelectedProfiles({found}, true);
    m_list->setFocus(Qt::OtherFocusReason);
}

void MainWindow::setInspector(QWidget *inspector)
{
    QLayout *layout = m_inspectorPane->layout();
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    layout->addWidget(inspector);
}

void MainWindow::sidebarItemChosen(const QModelIndex &current)
{
    if (m_sidebarChoiceRemoved)
        return;
    m_navigation->setSelectedSidebarItem(m_sidebarModel->itemAt(current));
}

void MainWindow::keepSidebarChoice(const QModelIndex &, int first, int last)
{
    const int current = m_sidebar->currentIndex().row();
    m_sidebarChoiceRemoved = current >= first && current <= last;
}

void MainWindow::editNewTag(Tag *tag)
{
    const QModelIndex index = m_sidebarModel->indexOf(SidebarItem::forTag(tag));
    m_sidebar->setCurrentIndex(index);
    m_sidebar->setFocus(Qt::OtherFocusReason);
    m_sidebar->edit(index);
}

void MainWindow::showSidebarMenu(const QPoint &position)
{
    const QModelIndex index = m_sidebar->indexAt(position);
    if (index.isValid())
        m_sidebar->setCurrentIndex(index);
    m_sidebarMenu->popup(m_sidebar->viewport()->mapToGlobal(position));
}

void MainWindow::showProfileMenu(const QPoint &position)
{
    m_profileMenu->popup(m_list->viewport()->mapToGlobal(position));
}

// The rows that went away leave the current row at their place: it becomes the selection,
// so that Delete can go on from there.
void MainWindow::selectCurrentAfterRemoval()
{
    QItemSelectionModel *selection = m_list->selectionModel();
    if (selection->hasSelection() || !m_list->currentIndex().isValid())
        return;
    selection->select(m_list->currentIndex(),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// A first start would show a blank list: it says how to begin instead. A search that finds
// nothing says so; an empty tag or trash needs no words.
void MainWindow::updateEmptyText()
{
    if (!m_search->text().trimmed().isEmpty())
        m_list->setEmptyText(localized("No results"));
    else if (m_navigation->selectedSidebarItem().kind == SidebarItem::Kind::all)
        m_list->setEmptyText(
            localized("No tunnels yet"),
            localized("Press %1 to create one, or drop a .velltunnel file here.")
                .arg(m_commands->newTunnel->shortcut().toString(QKeySequence::NativeText)));
    else
        m_list->setEmptyText({});
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveWindowState();
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_search || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Escape && !m_search->text().isEmpty()) {
        m_search->clear();
        return true;
    }
    if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_list->setFocus(Qt::TabFocusReason);
        if (!m_list->currentIndex().isValid() && m_profileModel->rowCount() > 0)
            m_list->setCurrentIndex(m_profileModel->index(0, 0));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::saveWindowState() const
{
    m_stateFile.save(*this, {m_splitter, m_contentSplitter}, m_list->header());
    m_stateFile.setShown(inspectorPane, m_commands->showInspector->isChecked());
}
