#include "objectsnapshot.h"

#include "forwarding.h"
#include "profile.h"
#include "tag.h"

#include <QSet>

namespace {

template<class T>
bool sameMembers(const QList<T *> &a, const QList<T *> &b)
{
    return a.size() == b.size() && QSet<T *>(a.begin(), a.end()) == QSet<T *>(b.begin(), b.end());
}

} // namespace

Snapshot snapshotOf(const ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::profile: {
        auto *p = static_cast<const Profile *>(object);
        return ProfileSnapshot{p->data(), p->tags()};
    }
    case Entity::forwarding: {
        auto *f = static_cast<const Forwarding *>(object);
        return ForwardingSnapshot{f->data(), f->profile()};
    }
    case Entity::tag: {
        auto *t = static_cast<const Tag *>(object);
        return TagSnapshot{t->data(), t->parent()};
    }
    }
    return {};
}

AttributeMask differences(const Snapshot &a, const Snapshot &b)
{
    if (auto *pa = std::get_if<ProfileSnapshot>(&a)) {
        const auto &pb = std::get<ProfileSnapshot>(b);
        return differingAttributes(pa->data, pb.data) |
               (sameMembers(pa->tags, pb.tags) ? 0 : relationshipBit<ProfileData>);
    }
    if (auto *fa = std::get_if<ForwardingSnapshot>(&a)) {
        const auto &fb = std::get<ForwardingSnapshot>(b);
        return differingAttributes(fa->data, fb.data) |
               (fa->profile == fb.profile ? 0 : relationshipBit<ForwardingData>);
    }
    const auto &ta = std::get<TagSnapshot>(a);
    const auto &tb = std::get<TagSnapshot>(b);
    return differingAttributes(ta.data, tb.data) |
           (ta.parent == tb.parent ? 0 : relationshipBit<TagData>);
}

QStringList changedNames(Entity entity, AttributeMask mask)
{
    switch (entity) {
    case Entity::profile:
        return attributeNames<ProfileData>(mask, "tags");
    case Entity::forwarding:
        return attributeNames<ForwardingData>(mask, "profile");
    case Entity::tag:
        return attributeNames<TagData>(mask, "parent");
    }
    return {};
}

AttributeMask relationshipOf(Entity entity)
{
    switch (entity) {
    case Entity::profile:
        return relationshipBit<ProfileData>;
    case Entity::forwarding:
        return relationshipBit<ForwardingData>;
    case Entity::tag:
        return relationshipBit<TagData>;
    }
    return 0;
}

AttributeMask everything(Entity entity)
{
    switch (entity) {
    case Entity::profile:
        return allAttributes<ProfileData>;
    case Entity::forwarding:
        return allAttributes<ForwardingData>;
    case Entity::tag:
        return allAttributes<TagData>;
    }
    return 0;
}

std::optional<QUuid> uuidOf(const ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::profile:
        return static_cast<const Profile *>(object)->uuid();
    case Entity::forwarding:
        return static_cast<const Forwarding *>(object)->uuid();
    case Entity::tag:
        return static_cast<const Tag *>(object)->uuid();
    }
    return std::nullopt;
}
