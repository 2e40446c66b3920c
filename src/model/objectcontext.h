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
// memory. A context belongs to one thread; the main context to the main thread.
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
    UndoStack *undoStack() const { return m_undoStack.get(); }
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
    struct Tracking;
    struct MergeBatch;

    void willChange(ManagedObject *object);
    void didChange(ManagedObject *object);
    void registerInsert(ManagedObject *object);
    void schedulePendingChanges();
    void replay(bool undoing);
    Status writeChanges(QList<ObjectChange> &changes, QList<ManagedObject *> &assigned);
    // The history token written, or 0 when there was nothing to write.
    Result<qint64> writeTransaction(QList<ObjectChange> &changes, QList<ManagedObject *> &assigned,
                                    const std::function<Status()> &check);
    void adoptCommittedTags();
    Tag *committedTagNamed(const QString &name, const Tag *except) const;
    void removeMergedObject(ManagedObject *object);
    Status mergeRows(MergeBatch &batch);
    Status mergeTagLinks(MergeBatch &batch);
    void announceMerge(MergeBatch &batch);
    template<class Object>
    Object *mergedObject(MergeBatch &batch, Entity entity, qint64 id);
    template<class Snapshot>
    Snapshot *savedState(ManagedObject *object);
    // With the snapshot that the step left, dictionaries get back only the keys the step edited.
    void applySnapshot(ManagedObject *object, const void *snapshot, const void *replaced,
                       AttributeMask mask);

    // Relationship edits that keep both sides in step and record nothing; tracked edits call
    // them between willChange and didChange.
    static void linkProfile(Forwarding *forwarding, Profile *profile);
    static void linkTags(Profile *profile, const QList<Tag *> &tags);
    static void linkParent(Tag *tag, Tag *parent);

    std::unique_ptr<StoreConnection> m_connection;
    std::unique_ptr<Tracking> d;
    QString m_author;
    std::unique_ptr<UndoStack> m_undoStack;
    bool m_recordUndo = true;
    bool m_loaded = false;
    qint64 m_historyToken = 0;
};

Q_DECLARE_METATYPE(ObjectsDidChange)
