#pragma once

#include "objectchange.h"
#include "records.h"

#include <QList>

#include <optional>
#include <variant>

class ManagedObject;
class Profile;
class Forwarding;
class Tag;

// A record's attributes and the relationship that it owns, as they stood at one moment: what a
// save compares against, what undo puts back.
struct ProfileSnapshot
{
    ProfileData data;
    QList<Tag *> tags;
};
struct ForwardingSnapshot
{
    ForwardingData data;
    Profile *profile = nullptr;
};
struct TagSnapshot
{
    TagData data;
    Tag *parent = nullptr;
};
using Snapshot = std::variant<ProfileSnapshot, ForwardingSnapshot, TagSnapshot>;

Snapshot snapshotOf(const ManagedObject *object);
// The attributes, and the relationship bit, in which two snapshots of one record differ.
AttributeMask differences(const Snapshot &a, const Snapshot &b);
QStringList changedNames(Entity entity, AttributeMask mask);
AttributeMask relationshipOf(Entity entity);
AttributeMask everything(Entity entity);
std::optional<QUuid> uuidOf(const ManagedObject *object);

template<class T>
QList<T *> liveOnly(const QList<T *> &all)
{
    QList<T *> live;
    live.reserve(all.size());
    for (T *object : all) {
        if (!object->isDeleted())
            live.append(object);
    }
    return live;
}
