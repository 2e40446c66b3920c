#pragma once

#include "objectchange.h"
#include "records.h"
#include "result.h"

#include <QList>
#include <QObject>

#include <algorithm>
#include <functional>
#include <memory>

class ManagedObject;
class Profile;
class Forwarding;
class Tag;
class StoreConnection;
class UndoStack;
class UndoRecorder;
class ContextMerge;
class ChangeWriter;
class QTimer;
struct ContextState;

// What changed in a context since the last announcement: records inserted, updated or deleted
// here, and records refreshed by a merge of outside changes.
struct ObjectsDidChange
{
    QList<ManagedObject *> inserted;
    QList<ManagedObject *> updated;
    QList<ManagedObject *> refreshed;
    QList<ManagedObject *> deleted;

    bool isEmpty() const
    {
        return inserted.isEmpty() && updated.isEmpty() && refreshed.isEmpty() && deleted.isEmpty();
    }
};

// A unit of work on the store: one object per record, change tracking, undo, and save under an
// author. Every record of the store is read into the context once by load(), so queries run in
// memory. A context belongs to one thread; the main context to the main thread. Its merge of
// outside changes (ContextMerge), its undo (UndoRecorder) and its writes (ChangeWriter) are
// parts of their own that share its ContextState.
class ObjectContext : public QObject
{
    Q_OBJECT

public:
    ObjectContext(std::unique_ptr<StoreConnection> connection, const QString &author,
                  QObject *parent = nullptr);
    ~ObjectContext() override;

    QString transactionAuthor() const { return m_author; }
    void setTransactionAuthor(const QString &author) { m_author = author; }
    StoreConnection &connection() { return *m_connection; }

    // Edits are undoable only in a context that has an undo stack.
    void setUndoEnabled(bool enabled);
    UndoStack *undoStack() const;
    void undo();
    void redo();
    // Runs edits that must not become undoable steps (merges, clean-ups, de-duplication).
    void performWithoutUndo(const std::function<void()> &edits);

    Status load();

    QList<Profile *> profiles() const;
    QList<Forwarding *> forwardings() const;
    QList<Tag *> tags() const;
    ManagedObject *object(Entity entity, qint64 objectId) const;
    Profile *profileWithId(qint64 objectId) const;

    // New records receive their creation values unless the given data already holds a uuid.
    Profile *insertProfile(const ProfileData &initial = {});
    Forwarding *insertForwarding(const ForwardingData &initial = {});
    Tag *insertTag(const TagData &initial = {});
    // A profile takes its forwardings with it; tags are only detached.
    void deleteObject(ManagedObject *object);

    bool hasChanges() const;
    // Closes the current undo step and announces what changed.
    void processPendingChanges();
    // Writes every change and one history transaction under the author, all or nothing. While
    // it holds the store's write lock, it first merges what other connections committed since
    // this context last saw the store (so that a save never rests on an older state), then runs
    // the check, if any, on the merged state, and a tag made here takes the place of nothing:
    // when another writer made a tag of the same name meanwhile, that tag is used.
    Status save(const std::function<Status()> &check = {});
    Status saveIfChanged(const std::function<Status()> &check = {});
    // Merges now what other connections committed since this context last saw the store, for
    // a caller that must see every write finished before its request.
    Status mergeCommitted();
    // Called by whoever merged the transactions up to the token into this context.
    void noteMergedHistory(qint64 token) { m_historyToken = std::max(m_historyToken, token); }

    // Frees records deleted for good (saved or merged, announced, out of reach of undo) from
    // the event loop, so that a long-running process does not keep every record it ever saw.
    // Only for a context whose users drop their pointers to a record when it is announced as
    // deleted; an editor's scratch context keeps its records for its life.
    void setReleasesDeletedObjects(bool releases);
    qsizetype heldObjectCount() const;

    // Brings in changes that other connections committed. Attributes edited here and not yet
    // saved keep their edited values; merged changes never become undoable steps.
    Status mergeChanges(const QList<ObjectChange> &changes);

Q_SIGNALS:
    void objectsDidChange(const ObjectsDidChange &change);
    void didSave(const QList<ObjectChange> &changes);

private:
    friend class Profile;
    friend class Forwarding;
    friend class Tag;
    friend class ContextMerge;
    friend class UndoRecorder;

    void willChange(ManagedObject *object);
    void didChange(ManagedObject *object);
    void registerInsert(ManagedObject *object);
    // A profile takes its forwardings with it; the other relationships are only cut.
    void detachForDeletion(ManagedObject *object);
    void schedulePendingChanges();
    void announcePendingChanges();
    // The history token written, or 0 when there was nothing to write.
    Result<qint64> writeTransaction(ChangeWriter &writer, const std::function<Status()> &check);
    void finishSave(const QList<ObjectChange> &changes, qint64 token);
    void scheduleRelease();
    void releaseDeletedObjects();

    std::unique_ptr<StoreConnection> m_connection;
    std::unique_ptr<ContextState> d;
    std::unique_ptr<UndoRecorder> m_undo;
    std::unique_ptr<ContextMerge> m_merge;
    QString m_author;
    bool m_loaded = false;
    bool m_processScheduled = false;
    qint64 m_historyToken = 0;
    bool m_releasesDeleted = false;
    QTimer *m_release = nullptr;
};

Q_DECLARE_METATYPE(ObjectsDidChange)
