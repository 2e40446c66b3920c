#pragma once

#include "sessionstate.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <memory>
#include <optional>

class ObjectContext;
class Profile;
class QAction;
class QMenu;
class SessionBatch;
class SessionContainer;
class TunnelSession;
struct ObjectsDidChange;

// The tray's menu: a section per tag with its live profiles and "Connect All" / "Disconnect
// All", a section "Untagged", a section "Tunnels" for every live profile, then the window,
// settings, help and quit entries. The sections are laid out again only when the profiles,
// their names or their tags change; a state change touches the entries of its profile alone.
// Section titles are disabled entries rather than QMenu sections, because the desktop's tray
// menu (com.canonical.dbusmenu) shows separators without their text.
class TunnelMenu : public QObject
{
    Q_OBJECT

public:
    // A tag with more profiles than this lists them in a submenu of its section.
    static constexpr int inlineProfileLimit = 15;

    TunnelMenu(ObjectContext *context, SessionContainer *container, QObject *parent = nullptr);
    ~TunnelMenu() override;

    QMenu *menu() const { return m_menu.get(); }

    QAction *openMainWindow = nullptr;
    QAction *settings = nullptr;
    QAction *help = nullptr;
    QAction *quit = nullptr;

private:
    struct Entry
    {
        QUuid uuid;
        QString name;
        friend bool operator==(const Entry &, const Entry &) = default;
    };
    struct Section
    {
        QString title;
        // The tag of a tag's section; none for "Untagged".
        std::optional<QUuid> tag;
        QList<Entry> entries;
        friend bool operator==(const Section &, const Section &) = default;
    };
    struct BulkEntries
    {
        QAction *connectAll = nullptr;
        QAction *disconnectAll = nullptr;
        // The tag whose profiles they act on; none for every live profile.
        std::optional<QUuid> tag;
    };

    void objectsChanged(const ObjectsDidChange &change);
    QList<Section> layout() const;
    void rebuild();
    void addHeader(const QString &title);
    void addSection(const Section &section);
    void addProfileEntries(QMenu *menu, const QList<Entry> &entries);
    void addBulkEntries(QMenu *menu, const QString &connectText, const QString &disconnectText,
                        const std::optional<QUuid> &tag);
    void addFixedEntries();
    void showState(QAction *action, const QString &name, SessionState state) const;
    void stateChanged(TunnelSession *session, SessionState state);
    void toggle(const QUuid &uuid);
    void updateBulkEntries();
    QList<Profile *> liveProfiles(const std::optional<QUuid> &tag) const;

    ObjectContext *m_context;
    SessionContainer *m_container;
    SessionBatch *m_batch;
    std::unique_ptr<QMenu> m_menu;
    QList<Section> m_layout;
    QList<QMenu *> m_submenus;
    QMultiHash<QUuid, std::pair<QAction *, QString>> m_entries;
    QList<BulkEntries> m_bulk;
    QTimer m_rebuild;
    QTimer m_bulkUpdate;
};
