#include "maincommands.h"

#include "confirmations.h"
#include "localized.h"
#include "navigationmodel.h"
#include "objectcontext.h"
#include "profile.h"
#include "sessionbatch.h"
#include "sessioncontainer.h"
#include "tag.h"
#include "undoableedit.h"
#include "undostack.h"
#include "vellshellopener.h"

#include <QAction>
#include <QApplication>
#include <QSet>
#include <QWidget>

using namespace Qt::StringLiterals;

MainCommands::MainCommands(ObjectContext *context, SessionContainer *container,
                           NavigationModel *navigation, QWidget *window, QWidget *sidebar)
    : QObject(window), m_context(context), m_container(container), m_navigation(navigation),
      m_window(window), m_sidebar(sidebar), m_batch(new SessionBatch(container, this))
{
    createActions();
    connectActions();
    m_updateLater.setSingleShot(true);
    m_updateLater.setInterval(50);
    connect(&m_updateLater, &QTimer::timeout, this, &MainCommands::update);
    connect(navigation, &NavigationModel::selectedProfilesChanged, this, &MainCommands::update);
    connect(navigation, &NavigationModel::selectedSidebarItemChanged, this, &MainCommands::update);
    connect(container, &SessionContainer::sessionStateChanged, this, &MainCommands::scheduleUpdate);
    connect(context, &ObjectContext::objectsDidChange, this, &MainCommands::update);
    if (UndoStack *stack = context->undoStack())
        connect(stack, &UndoStack::changed, this, &MainCommands::update);
    connect(qApp, &QApplication::focusChanged, this, &MainCommands::update);
    update();
}

QAction *MainCommands::action(const QString &name, const QString &text,
                              const QList<QKeySequence> &keys)
{
    auto *action = new QAction(text, m_window);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(action);
    return action;
}

void MainCommands::createActions()
{
    using Key = QKeySequence;
    newTunnel = action(u"newTunnel"_s, localized("New Tunnel"), Key::keyBindings(Key::New));
    newTag = action(u"newTag"_s, localized("New Tag"), {Key(Qt::CTRL | Qt::SHIFT | Qt::Key_N)});
    find = action(u"find"_s, localized("Find"), Key::keyBindings(Key::Find));
    editProfile = action(u"editProfile"_s, localized("Edit Profile"), {Key(Qt::CTRL | Qt::Key_E)});
    duplicateTunnel =
        action(u"duplicateTunnel"_s, localized("Duplicate Tunnel"), {Key(Qt::CTRL | Qt::Key_D)});
    pin = action(u"pin"_s, localized("Pin"), {Key(Qt::CTRL | Qt::Key_P)});
    connectTunnels = action(u"connect"_s, localized("Connect"), {Key(Qt::CTRL | Qt::Key_K)});
    disconnectTunnels =
        action(u"disconnect"_s, localized("Disconnect"), {Key(Qt::CTRL | Qt::SHIFT | Qt::Key_K)});
    openInShell = action(u"openInShell"_s, localized("Open in Vell Shell"), {});
    connectAll = action(u"connectAll"_s, localized("Connect All Tunnels"),
                        {Key(Qt::CTRL | Qt::ALT | Qt::Key_K)});
    disconnectAll = action(u"disconnectAll"_s, localized("Disconnect All Tunnels"),
                           {Key(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_K)});
    showInspector =
        action(u"showInspector"_s, localized("Show Inspector"), {Key(Qt::CTRL | Qt::Key_I)});
    showInspector->setCheckable(true);
    undo = action(u"undo"_s, localized("Undo"), Key::keyBindings(Key::Undo));
    QList<Key> redoKeys{Key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    for (const Key &key : Key::keyBindings(Key::Redo)) {
        if (!redoKeys.contains(key))
            redoKeys.append(key);
    }
    redo = action(u"redo"_s, localized("Redo"), redoKeys);
    // Only the Delete key: on X11 the standard list also holds Ctrl+D (for line editors),
    // which is Duplicate Tunnel here.
    deleteProfiles = action(u"delete"_s, localized("Delete"), {Key(Qt::Key_Delete)});
    deletePermanently = action(u"deletePermanently"_s, localized("Delete Permanently…"),
                               {Key(Qt::SHIFT | Qt::Key_Delete)});
    recover = action(u"recover"_s, localized("Recover"), {});
    emptyTrash = action(u"emptyTrash"_s, localized("Empty Recently Deleted…"), {});
    renameTag = action(u"renameTag"_s, localized("Rename Tag"), {});
    deleteTag = action(u"deleteTag"_s, localized("Delete Tag"), {});
    // Ctrl+, is what most Linux applications use; the theme's key, where it names one, too.
    QList<Key> settingsKeys = Key::keyBindings(Key::Preferences);
    if (!settingsKeys.contains(Key(Qt::CTRL | Qt::Key_Comma)))
        settingsKeys.append(Key(Qt::CTRL | Qt::Key_Comma));
    settings = action(u"settings"_s, localized("Settings…"), settingsKeys);
    settings->setMenuRole(QAction::PreferencesRole);
    settings->setShortcutContext(Qt::ApplicationShortcut);
    // Not every platform theme names a key for Quit; Ctrl+Q is what Linux desktops use.
    QList<Key> quitKeys = Key::keyBindings(Key::Quit);
    if (quitKeys.isEmpty())
        quitKeys.append(Key(Qt::CTRL | Qt::Key_Q));
    quit = action(u"quit"_s, localized("Quit"), quitKeys);
    quit->setMenuRole(QAction::QuitRole);
    // Quit is the application's, whichever of its windows has the keyboard.
    quit->setShortcutContext(Qt::ApplicationShortcut);
}

void MainCommands::connectActions()
{
    connect(newTunnel, &QAction::triggered, this,
            [this] { Q_EMIT createRequested(m_navigation->selectedSidebarItem().tag); });
    connect(newTag, &QAction::triggered, this, &MainCommands::createTag);
    connect(find, &QAction::triggered, this, &MainCommands::findRequested);
    connect(editProfile, &QAction::triggered, this, [this] {
        if (selection().size() == 1)
            Q_EMIT editRequested(selection().first());
    });
    connect(duplicateTunnel, &QAction::triggered, this, [this] {
        if (selection().size() == 1)
            Q_EMIT duplicateRequested(selection().first());
    });
    connect(pin, &QAction::triggered, this, &MainCommands::setPinned);
    using Action = SessionBatch::Action;
    connect(connectTunnels, &QAction::triggered, this,
            [this] { m_batch->start(Action::connect, selection()); });
    connect(disconnectTunnels, &QAction::triggered, this,
            [this] { m_batch->start(Action::disconnect, selection()); });
    connect(openInShell, &QAction::triggered, this,
            [this] { report(VellShellOpener::open(selection())); });
    connect(connectAll, &QAction::triggered, this,
            [this] { m_batch->start(Action::connect, bulkProfiles()); });
    connect(disconnectAll, &QAction::triggered, this,
            [this] { m_batch->start(Action::disconnect, bulkProfiles()); });
    connect(undo, &QAction::triggered, this, [this] { replay(true); });
    connect(redo, &QAction::triggered, this, [this] { replay(false); });
    connect(deleteProfiles, &QAction::triggered, this, &MainCommands::deleteSelection);
    connect(deletePermanently, &QAction::triggered, this,
            &MainCommands::deleteSelectionPermanently);
    connect(recover, &QAction::triggered, this, [this] { ::recover(selection(), *m_context); });
    connect(emptyTrash, &QAction::triggered, this,
            [this] { deletePermanentlyAfterAsking(profilesIn(*m_context, SidebarItem::trash())); });
    connect(renameTag, &QAction::triggered, this, [this] {
        if (Tag *tag = m_navigation->selectedSidebarItem().tag)
            Q_EMIT renameTagRequested(tag);
    });
    connect(deleteTag, &QAction::triggered, this, &MainCommands::removeTag);
    connect(settings, &QAction::triggered, this, &MainCommands::settingsRequested);
    connect(quit, &QAction::triggered, this, &MainCommands::quitRequested);
}

void MainCommands::scheduleUpdate()
{
    if (!m_updateLater.isActive())
        m_updateLater.start();
}

void MainCommands::update()
{
    m_updateLater.stop();
    const QList<Profile *> selected = selection();
    const bool live = !inTrash();
    const bool one = selected.size() == 1 && live;
    editProfile->setEnabled(one);
    duplicateTunnel->setEnabled(one);

    const bool allPinned = std::all_of(selected.cbegin(), selected.cend(),
                                       [](const Profile *p) { return p->pinned(); });
    pin->setEnabled(live && !selected.isEmpty());
    pin->setText(!selected.isEmpty() && allPinned ? localized("Unpin") : localized("Pin"));

    connectTunnels->setEnabled(live && !selected.isEmpty() && m_container->canConnectAny(selected));
    disconnectTunnels->setEnabled(live && m_container->canDisconnectAny(selected));
    openInShell->setEnabled(live && !selected.isEmpty());

    const QList<Profile *> bulk = bulkProfiles();
    connectAll->setEnabled(m_container->canConnectAny(bulk));
    disconnectAll->setEnabled(m_container->canDisconnectAny(bulk));
    if (const Tag *tag = m_navigation->selectedSidebarItem().tag) {
        const QString name = tag->name().value_or(QString());
        connectAll->setText(localized("Connect All in Tag “%1”").arg(name));
        disconnectAll->setText(localized("Disconnect All in Tag “%1”").arg(name));
    } else {
        connectAll->setText(localized("Connect All Tunnels"));
        disconnectAll->setText(localized("Disconnect All Tunnels"));
    }

    const UndoStack *stack = m_context->undoStack();
    const QString undoName = stack ? stack->undoActionName() : QString();
    const QString redoName = stack ? stack->redoActionName() : QString();
    undo->setEnabled(stack && stack->canUndo());
    redo->setEnabled(stack && stack->canRedo());
    undo->setText(undoName.isEmpty() ? localized("Undo") : localized("Undo %1").arg(undoName));
    redo->setText(redoName.isEmpty() ? localized("Redo") : localized("Redo %1").arg(redoName));

    const bool tagFocused = m_navigation->selectedSidebarItem().tag && m_sidebar->hasFocus();
    deleteProfiles->setEnabled(tagFocused || !selected.isEmpty());
    deletePermanently->setEnabled(!selected.isEmpty());
    recover->setEnabled(!live && !selected.isEmpty());
    recover->setVisible(!live);
    const QList<Profile *> all = m_context->profiles();
    emptyTrash->setEnabled(std::any_of(all.cbegin(), all.cend(), [](const Profile *p) {
        return p->isInTrash() && isValidProfile(p);
    }));
    renameTag->setEnabled(m_navigation->selectedSidebarItem().tag);
    deleteTag->setEnabled(m_navigation->selectedSidebarItem().tag);
}

QList<Profile *> MainCommands::bulkProfiles() const
{
    const Tag *tag = m_navigation->selectedSidebarItem().tag;
    QList<Profile *> profiles = tag ? tag->profiles() : m_context->profiles();
    profiles.removeIf(
        [](const Profile *p) { return p->isDeleted() || p->isInTrash() || !isValidProfile(p); });
    return profiles;
}

void MainCommands::report(const Status &error)
{
    if (error)
        showError(m_window, *error);
}

bool MainCommands::inTrash() const
{
    return m_navigation->selectedSidebarItem().kind == SidebarItem::Kind::recentDeleted;
}

QList<Profile *> MainCommands::selection() const
{
    return m_navigation->selectedProfiles();
}

void MainCommands::setPinned()
{
    const QList<Profile *> profiles = selection();
    const bool pinning = !std::all_of(profiles.cbegin(), profiles.cend(),
                                      [](const Profile *p) { return p->pinned(); });
    report(performUndoable(*m_context, pinning ? localized("Pin") : localized("Unpin"),
                           [&] { ::setPinned(profiles, pinning); }));
}

void MainCommands::createTag()
{
    Tag *tag = nullptr;
    const Status error = performUndoable(*m_context, localized("New Tag"), [&] {
        tag = m_context->insertTag();
        tag->setName(newTagName(*m_context));
    });
    report(error);
    if (!error)
        Q_EMIT tagCreated(tag);
}

void MainCommands::deleteSelection()
{
    if (m_sidebar->hasFocus() && m_navigation->selectedSidebarItem().tag)
        removeTag();
    else if (inTrash())
        deleteSelectionPermanently();
    else
        moveSelectionToTrash();
}

void MainCommands::moveSelectionToTrash()
{
    const QList<Profile *> profiles = selection();
    if (profiles.isEmpty())
        return;
    report(performUndoable(*m_context, localized("Move to Trash"), [&] { moveToTrash(profiles); }));
}

void MainCommands::deleteSelectionPermanently()
{
    deletePermanentlyAfterAsking(selection());
}

void MainCommands::deletePermanentlyAfterAsking(const QList<Profile *> &profiles)
{
    if (profiles.isEmpty())
        return;
    const auto running = [this](const Profile *p) {
        const TunnelSession *session = m_container->existingSession(*p->uuid());
        return session && !session->canConnect();
    };
    QSet<QUuid> uuids;
    QSet<QUuid> trashed;
    for (const Profile *profile : profiles) {
        uuids.insert(*profile->uuid());
        if (profile->isInTrash())
            trashed.insert(*profile->uuid());
    }
    const bool connectedAmong = std::any_of(profiles.cbegin(), profiles.cend(), running);
    // The answer comes later: by then a merge may have removed some of them, or brought some
    // back from the trash, which the question no longer covers.
    confirmPermanentDeletion(m_window, profiles, connectedAmong, [this, uuids, trashed, running] {
        QList<Profile *> still;
        QList<Profile *> connected;
        for (Profile *profile : m_context->profiles()) {
            if (!isValidProfile(profile) || !uuids.contains(*profile->uuid()) ||
                (trashed.contains(*profile->uuid()) && !profile->isInTrash()))
                continue;
            still.append(profile);
            if (running(profile))
                connected.append(profile);
        }
        m_container->disconnectAll(connected);
        report(::deletePermanently(still, *m_context));
    });
}

void MainCommands::removeTag()
{
    Tag *tag = m_navigation->selectedSidebarItem().tag;
    if (!tag)
        return;
    const QUuid uuid = tag->uuid().value_or(QUuid());
    confirmTagDeletion(m_window, *tag, [this, uuid] {
        for (Tag *tag : m_context->tags()) {
            if (tag->uuid() == uuid) {
                report(performUndoable(*m_context, localized("Delete Tag"),
                                       [&] { m_context->deleteObject(tag); }));
                return;
            }
        }
    });
}

void MainCommands::replay(bool undoing)
{
    const UndoStack *stack = m_context->undoStack();
    const QString name =
        stack ? (undoing ? stack->undoActionName() : stack->redoActionName()) : QString();
    QList<Profile *> trashed = m_context->profiles();
    trashed.removeIf([](const Profile *p) { return !p->isInTrash(); });
    if (undoing)
        m_context->undo();
    else
        m_context->redo();
    m_context->performWithoutUndo([&] {
        for (Profile *profile : std::as_const(trashed)) {
            if (!profile->isDeleted() && !profile->isInTrash())
                keepNameFree(profile, *m_context);
        }
    });
    // Another writer may have deleted or changed back all that the step touched: the step is
    // used up, and the person should know why nothing moved.
    if (!m_context->hasChanges() && !name.isEmpty()) {
        report(Error(undoing ? localized("Nothing was undone: what “%1” changed has been "
                                         "deleted or changed elsewhere.")
                                   .arg(name)
                             : localized("Nothing was redone: what “%1” changed has been "
                                         "deleted or changed elsewhere.")
                                   .arg(name)));
        return;
    }
    report(m_context->saveIfChanged());
}
