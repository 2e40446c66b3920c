#pragma once

#include "forwarding.h"
#include "profile.h"
#include "tag.h"

#include <memory>

// What only an object context and its parts (merge, undo, the writer) change in a record: its
// making, row id, deletion, stored values and the two sides of each relationship. The records
// keep these private and let this class in, for the context and its parts alone.
class RecordAccess
{
public:
    template<class T>
    static std::unique_ptr<T> make(ObjectContext *context)
    {
        return std::make_unique<T>(RecordKey(), context);
    }

    static void setObjectId(ManagedObject *object, qint64 id) { object->m_objectId = id; }
    static void setDeleted(ManagedObject *object, bool deleted) { object->m_deleted = deleted; }
    static bool isRemovedByMerge(const ManagedObject *object) { return object->m_removedByMerge; }
    static void markRemovedByMerge(ManagedObject *object)
    {
        object->m_deleted = true;
        object->m_removedByMerge = true;
    }

    static ProfileData &data(Profile *profile) { return profile->m_data; }
    static ForwardingData &data(Forwarding *forwarding) { return forwarding->m_data; }
    static TagData &data(Tag *tag) { return tag->m_data; }

    // Relationship edits that keep both sides in step and record nothing; tracked edits call
    // them between willChange and didChange.
    static void linkProfile(Forwarding *forwarding, Profile *profile);
    static void linkTags(Profile *profile, const QList<Tag *> &tags);
    static void linkParent(Tag *tag, Tag *parent);
};
