#pragma once

#include "objectsnapshot.h"
#include "recordaccess.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <memory>
#include <type_traits>
#include <vector>

// What an object context holds, shared by its parts (merge, undo, the writer): one object per
// record, found by row id; the unsaved work; and the changes not announced yet.
struct ContextState
{
    std::vector<std::unique_ptr<ManagedObject>> objects;
    QList<Profile *> profiles;
    QList<Forwarding *> forwardings;
    QList<Tag *> tags;
    QHash<qint64, ManagedObject *> byId[3];

    // Unsaved work: new objects in order, saved objects deleted here, and the saved state of
    // saved objects changed here.
    QList<ManagedObject *> inserted;
    QList<ManagedObject *> deleted;
    QHash<ManagedObject *, Snapshot> committed;

    QList<ManagedObject *> notifyInserted;
    QList<ManagedObject *> notifyUpdated;
    QList<ManagedObject *> notifyDeleted;
    QSet<ManagedObject *> notified;

    QHash<qint64, ManagedObject *> &ids(Entity entity) { return byId[int(entity)]; }
    ManagedObject *object(Entity entity, qint64 id) const { return byId[int(entity)].value(id); }

    template<class T>
    T *create(ObjectContext *context)
    {
        auto object = RecordAccess::make<T>(context);
        T *raw = object.get();
        objects.push_back(std::move(object));
        if constexpr (std::is_same_v<T, Profile>)
            profiles.append(raw);
        else if constexpr (std::is_same_v<T, Forwarding>)
            forwardings.append(raw);
        else
            tags.append(raw);
        return raw;
    }

    // The state of a saved object when it was last saved or merged, if it changed since.
    template<class S>
    S *savedState(ManagedObject *object)
    {
        auto it = committed.find(object);
        return it == committed.end() ? nullptr : &std::get<S>(*it);
    }

    void notify(QList<ManagedObject *> &list, ManagedObject *object)
    {
        if (!notified.contains(object)) {
            notified.insert(object);
            list.append(object);
        }
    }

    // A deletion outweighs an update in the same turn: a profile is marked updated when its
    // forwardings go first, and announced only as updated it would stay in every list.
    void notifyDeletion(ManagedObject *object)
    {
        if (notified.contains(object)) {
            const qsizetype at = notifyUpdated.lastIndexOf(object);
            if (at >= 0) {
                notifyUpdated.removeAt(at);
                notified.remove(object);
            }
        }
        notify(notifyDeleted, object);
    }
};
