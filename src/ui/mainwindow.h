#pragma once

#include "profile.h"
#include "queries.h"
#include "tag.h"
#include "windowstatefile.h"

#include <QMainWindow>
#include <QUuid>

class MainCommands;
class NavigationModel;
class ObjectContext;
class ProfileListModel;
class ProfileListView;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class SessionContainer;
class SidebarModel;
class SidebarView;
class VellAppDelegate;

// The window a user lives in: "tunnel-main". The sidebar (All, the tags, Untagged, Recently
// Deleted) chooses what the profile list shows; the list follows the store and the sessions
// live; the menus hold the window's commands. Editors, the inspector and the exchange dialogs
// belong to other windows and controllers, which meet this one through its requests, its
// selection, its menus and the inspector's place.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(VellAppDelegate &app, QWidget *parent = nullptr);
    ~MainWindow() override;

    static constexpr QSize defaultSize{1200, 750};

    NavigationModel &navigation() const { return *m_navigation; }
    QList<Profile *> selectedProfiles() const;
    Tag *selectedTag() const;
    SidebarItem selectedSidebarItem() const;
    // Brings the window forward, then selects the live profile and scrolls to it, showing All
    // when the current sidebar item or search hides it. A profile that is gone selects nothing.
    void showProfile(const QUuid &uuid);
    // The inspector's place at the right of the list, which Show Inspector shows or hides. The
    // window takes the widget over; one given before is deleted.
    void setInspector(QWidget *inspector);

    QMenu *fileMenu() const { return m_fileMenu; }
    QMenu *editMenu() const { return m_editMenu; }
    QMenu *tunnelMenu() const { return m_tunnelMenu; }
    QMenu *viewMenu() const { return m_viewMenu; }
    // The list's context menu, for commands that other controllers add (Copy, Export...).
    QMenu *profileContextMenu() const { return m_profileMenu; }
    MainCommands &commands() const { return *m_commands; }

Q_SIGNALS:
    void createRequested(Tag *tagOrNull);
    void editRequested(Profile *profile);
    void duplicateRequested(Profile *profile);
    void inspectorToggled(bool shown);
    // Quit was chosen; the application decides whether it may.
    void quitRequested();
    // Interchange files were dropped on the list, to be imported.
    void filesDropped(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    QWidget *buildListPane();
    void buildMenus();
    void connectViews();
    void connectCommands();
    void sidebarItemChosen(const QModelIndex &current);
    void keepSidebarChoice(const QModelIndex &parent, int first, int last);
    void editNewTag(Tag *tag);
    void showSidebarMenu(const QPoint &position);
    void showProfileMenu(const QPoint &position);
    void selectCurrentAfterRemoval();
    void updateEmptyText();
    void saveWindowState() const;

    ObjectContext *m_context;
    SessionContainer *m_container;
    WindowStateFile m_stateFile;
    NavigationModel *m_navigation = nullptr;
    SidebarModel *m_sidebarModel = nullptr;
    ProfileListModel *m_profileModel = nullptr;
    SidebarView *m_sidebar = nullptr;
    ProfileListView *m_list = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_trashNote = nullptr;
    QSplitter *m_splitter = nullptr;
    QSplitter *m_contentSplitter = nullptr;
    QWidget *m_inspectorPane = nullptr;
    MainCommands *m_commands = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_editMenu = nullptr;
    QMenu *m_tunnelMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_profileMenu = nullptr;
    QMenu *m_sidebarMenu = nullptr;
    bool m_sidebarChoiceRemoved = false;
};

// The note shown above Recently Deleted: looked up by its key, so that a translation may word
// it freely.
QString trashNote();
