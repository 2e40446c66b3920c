#pragma once

#include "queries.h"
#include "sessionstate.h"
#include "sshinvocation.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>

#include <functional>

class ObjectContext;
class Profile;
class SessionContainer;
class TunnelSession;
struct ObjectsDidChange;

// The profiles of one sidebar item that match the search, pinned first, then by name. Store
// changes (edits here, undo, merges from other processes) insert, remove and move rows one by
// one, and a session's state change repaints only its row, so that the views keep their
// selection and scroll position.
class ProfileListModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        nameColumn,
        serverColumn,
        forwardingsColumn,
        statusColumn,
        columnTotal
    };
    // What a dragged profile's equivalent command is built with.
    using InvocationSource = std::function<InvocationInputs()>;

    ProfileListModel(ObjectContext *context, SessionContainer *container,
                     InvocationSource invocation, QObject *parent = nullptr);

    void setSidebarItem(const SidebarItem &item);
    void setSearchText(const QString &text);

    const QList<Profile *> &profiles() const { return m_rows; }
    Profile *profileAt(const QModelIndex &index) const;
    QModelIndex indexOf(const Profile *profile, int column = nameColumn) const;
    SessionState stateOf(const Profile *profile) const;
    // The session's status summary: why it ended when it ended on an error, else its state.
    QString statusText(const Profile *profile) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    // Beyond this many profiles touched by one change, the rows are laid out afresh.
    static constexpr int incrementalLimit = 200;

private:
    void objectsChanged(const ObjectsDidChange &change);
    void sessionStateChanged(TunnelSession *session);
    void reload();
    QList<Profile *> matchingProfiles();
    bool belongs(Profile *profile);
    // Keep the ordered store list and the rows in order after the profiles changed: each one
    // goes where the order wants it, passing over those whose place is still to be found.
    void reorder(const QList<Profile *> &touched);
    void place(const QList<Profile *> &touched);
    void removeRow(int row);
    int rowOf(const Profile *profile) const;
    void emitRowChanged(int row);

    ObjectContext *m_context;
    SessionContainer *m_container;
    InvocationSource m_invocation;
    ProfileSearch m_search;
    SidebarItem m_item = SidebarItem::all();
    QString m_searchText;
    QStringList m_terms;
    // Every listed profile of the store in the default order, so that another sidebar item or
    // search only filters it.
    QList<Profile *> m_ordered;
    QList<Profile *> m_rows;
    mutable QHash<const Profile *, int> m_rowOf;
    mutable bool m_rowOfValid = false;
};

// "user@host:port", as the client's destination reads.
QString serverText(const Profile &profile);
// The enabled forwardings in the client's own notation: "L 8080:db:80, D 1080".
QString forwardingSummary(const Profile &profile);
