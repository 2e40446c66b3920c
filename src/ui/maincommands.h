#pragma once

#include "profile.h"
#include "result.h"
#include "tag.h"

#include <QList>
#include <QObject>
#include <QTimer>

class NavigationModel;
class ObjectContext;
class QAction;
class QWidget;
class SessionBatch;
class SessionContainer;

// The main window's commands: one action each, with its shortcut, enabled only while it can
// act on what the window shows, and with the texts that depend on it ("Unpin", "Connect All
// in Tag “name”", "Undo Rename Tag"). Store work happens here; what other windows do (edit,
// create, duplicate) goes out as requests.
class MainCommands : public QObject
{
    Q_OBJECT

public:
    // Delete removes the tag shown in the sidebar while the sidebar has the focus.
    MainCommands(ObjectContext *context, SessionContainer *container, NavigationModel *navigation,
                 QWidget *window, QWidget *sidebar);

    QAction *newTunnel = nullptr;
    QAction *newTag = nullptr;
    QAction *find = nullptr;
    QAction *editProfile = nullptr;
    QAction *duplicateTunnel = nullptr;
    QAction *pin = nullptr;
    QAction *connectTunnels = nullptr;
    QAction *disconnectTunnels = nullptr;
    QAction *openInShell = nullptr;
    QAction *connectAll = nullptr;
    QAction *disconnectAll = nullptr;
    QAction *showInspector = nullptr;
    QAction *undo = nullptr;
    QAction *redo = nullptr;
    // Delete: live profiles go to the trash; in Recently Deleted they go for good.
    QAction *deleteProfiles = nullptr;
    QAction *deletePermanently = nullptr;
    QAction *recover = nullptr;
    QAction *emptyTrash = nullptr;
    QAction *renameTag = nullptr;
    QAction *deleteTag = nullptr;
    QAction *settings = nullptr;
    QAction *quit = nullptr;

    // Sets every action's state and text now.
    void update();
    // The same a moment later, once for a burst of session state changes.
    void scheduleUpdate();

    // The profiles that Connect All and Disconnect All act on: the tag's when a tag is shown,
    // else every live one.
    QList<Profile *> bulkProfiles() const;

Q_SIGNALS:
    void createRequested(Tag *tagOrNull);
    void editRequested(Profile *profile);
    void duplicateRequested(Profile *profile);
    void findRequested();
    void tagCreated(Tag *tag);
    void renameTagRequested(Tag *tag);
    void settingsRequested();
    void quitRequested();

private:
    QAction *action(const QString &name, const QString &text, const QList<QKeySequence> &keys);
    void createActions();
    void connectActions();
    void report(const Status &error);
    bool inTrash() const;
    // A copy: acting on the profiles changes the selection.
    QList<Profile *> selection() const;
    void setPinned();
    void createTag();
    void moveSelectionToTrash();
    void deleteSelectionPermanently();
    // Asks first; the profiles still there when the answer comes are deleted for good.
    void deletePermanentlyAfterAsking(const QList<Profile *> &profiles);
    void deleteSelection();
    void removeTag();
    void replay(bool undoing);

    ObjectContext *m_context;
    SessionContainer *m_container;
    NavigationModel *m_navigation;
    QWidget *m_window;
    QWidget *m_sidebar;
    SessionBatch *m_batch;
    QTimer m_updateLater;
};
