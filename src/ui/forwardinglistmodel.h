#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

class Forwarding;
class ObjectContext;
class Profile;
struct ObjectsDidChange;

// The forwardings of one profile in the order they are used (ascending priority). Each row
// shows the kind and the endpoints, is checkable to enable or disable it, and is marked when
// its values are not acceptable. Rows move by drag and drop or by moveRows; every change goes
// into the profile's context.
class ForwardingListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        forwardingRole = Qt::UserRole + 1,
        acceptableRole,
    };
    static inline const QString rowMimeType =
        QStringLiteral("application/x-vellssh-forwarding-row");

    explicit ForwardingListModel(QObject *parent = nullptr);

    // The profile whose forwardings are listed; none lists nothing.
    void setProfile(ObjectContext *context, Profile *profile);
    Profile *profile() const { return m_profile; }

    Forwarding *forwardingAt(int row) const;
    int rowOf(const Forwarding *forwarding) const;
    bool allAcceptable() const;

    // A new local forwarding at the end.
    Forwarding *appendForwarding();
    // A copy of the row's forwarding, placed right after it.
    Forwarding *duplicateRow(int row);
    // The row's forwarding as the client's words, e.g. "-L 8080:db:5432".
    QString sshWords(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                  const QModelIndex &destinationParent, int destinationChild) override;

    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // "Local: 8080 → db:5432"
    static QString summary(const Forwarding &forwarding);

private:
    void contextChanged(const ObjectsDidChange &change);
    QList<Forwarding *> currentRows() const;

    QPointer<ObjectContext> m_context;
    Profile *m_profile = nullptr;
    QList<Forwarding *> m_rows;
    // Set while this model changes the rows itself, so that the context's announcement of
    // the change is not taken for an outside one.
    bool m_changing = false;
};
