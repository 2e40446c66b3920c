#include "changewriter.h"

#include "contextstate.h"
#include "sqlitestore.h"

namespace {

qint64 idOf(const ManagedObject *object)
{
    return object ? object->objectId() : 0;
}

} // namespace

Status ChangeWriter::write()
{
    for (Entity entity : {Entity::tag, Entity::profile, Entity::forwarding}) {
        if (auto error = insertRows(entity))
            return error;
    }
    // A new forwarding got its profile with its row.
    for (ManagedObject *object : std::as_const(m_state.inserted)) {
        if (object->entity() == Entity::forwarding)
            continue;
        if (auto error = writeRelationship(object))
            return error;
    }
    if (auto error = updateRows())
        return error;
    for (Entity entity : {Entity::forwarding, Entity::profile, Entity::tag}) {
        if (auto error = deleteRows(entity))
            return error;
    }
    return std::nullopt;
}

void ChangeWriter::takeBackRowIds()
{
    for (ManagedObject *object : std::as_const(m_assigned)) {
        m_state.ids(object->entity()).remove(object->objectId());
        RecordAccess::setObjectId(object, 0);
    }
    m_assigned.clear();
}

Status ChangeWriter::insertRows(Entity entity)
{
    for (ManagedObject *object : std::as_const(m_state.inserted)) {
        if (object->entity() != entity)
            continue;
        const Result<qint64> id = insertRow(object);
        if (!id)
            return id.error();
        RecordAccess::setObjectId(object, *id);
        m_state.ids(entity).insert(*id, object);
        m_assigned.append(object);
        m_changes.append({entity, *id, uuidOf(object), ChangeType::insert,
                          changedNames(entity, everything(entity))});
    }
    return std::nullopt;
}

Result<qint64> ChangeWriter::insertRow(ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::tag:
        return m_store.insertTag(static_cast<Tag *>(object)->data());
    case Entity::profile:
        return m_store.insertProfile(static_cast<Profile *>(object)->data());
    case Entity::forwarding: {
        auto *forwarding = static_cast<Forwarding *>(object);
        return m_store.insertForwarding(forwarding->data(), idOf(forwarding->profile()));
    }
    }
    return qint64(0);
}

Status ChangeWriter::writeRelationship(ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::profile: {
        QList<qint64> tagIds;
        for (const Tag *tag : static_cast<Profile *>(object)->tags())
            tagIds.append(tag->objectId());
        return m_store.setProfileTags(object->objectId(), tagIds);
    }
    case Entity::forwarding:
        return m_store.setForwardingProfile(object->objectId(),
                                            idOf(static_cast<Forwarding *>(object)->profile()));
    case Entity::tag:
        return m_store.setTagParent(object->objectId(), idOf(static_cast<Tag *>(object)->parent()));
    }
    return std::nullopt;
}

Status ChangeWriter::updateRows()
{
    for (auto it = m_state.committed.cbegin(); it != m_state.committed.cend(); ++it) {
        ManagedObject *object = it.key();
        if (object->isDeleted())
            continue;
        const Snapshot current = snapshotOf(object);
        const AttributeMask mask = differences(it.value(), current);
        if (mask == 0)
            continue;
        if (auto error = updateRow(object, current, mask))
            return error;
        m_changes.append({object->entity(), object->objectId(), uuidOf(object), ChangeType::update,
                          changedNames(object->entity(), mask)});
    }
    return std::nullopt;
}

Status ChangeWriter::updateRow(ManagedObject *object, const Snapshot &current, AttributeMask mask)
{
    const qint64 id = object->objectId();
    Status error;
    if (auto *p = std::get_if<ProfileSnapshot>(&current))
        error = m_store.updateProfile(id, p->data, mask);
    else if (auto *f = std::get_if<ForwardingSnapshot>(&current))
        error = m_store.updateForwarding(id, f->data, mask);
    else
        error = m_store.updateTag(id, std::get<TagSnapshot>(current).data, mask);
    if (!error && (mask & relationshipOf(object->entity())))
        error = writeRelationship(object);
    return error;
}

Status ChangeWriter::deleteRows(Entity entity)
{
    for (ManagedObject *object : std::as_const(m_state.deleted)) {
        if (object->entity() != entity)
            continue;
        if (auto error = m_store.deleteRow(entity, object->objectId()))
            return error;
        m_changes.append({entity, object->objectId(), uuidOf(object), ChangeType::remove, {}});
    }
    return std::nullopt;
}
