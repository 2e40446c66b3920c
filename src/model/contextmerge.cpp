#include "contextmerge.h"

#include "contextstate.h"
#include "dictionarymerge.h"
#include "objectcontext.h"
#include "sqlitestore.h"
#include "undorecorder.h"

namespace {

template<class T>
void appendOnce(QList<T> &list, QSet<T> &seen, const T &value)
{
    if (!seen.contains(value)) {
        seen.insert(value);
        list.append(value);
    }
}

template<class Data>
void mergeData(Data &current, Data *committed, const Data &incoming)
{
    // Attributes edited here and not saved yet keep their edited values; of a dictionary, the
    // keys edited here.
    const AttributeMask local = committed ? differingAttributes(*committed, current) : 0;
    Data merged = incoming;
    copyAttributes(merged, current, local);
    if (committed)
        mergeDictionaries(merged, current, *committed, incoming, local);
    current = merged;
    if (committed)
        *committed = incoming;
}

template<class Object>
constexpr Entity entityOf()
{
    if constexpr (std::is_same_v<Object, Profile>)
        return Entity::profile;
    else if constexpr (std::is_same_v<Object, Forwarding>)
        return Entity::forwarding;
    else
        return Entity::tag;
}

} // namespace

// What one merge touches: the rows to read again, the profiles whose tags to read, the rows
// deleted; then what the merge made of them.
struct ContextMerge::Batch
{
    QList<qint64> changed[3];
    QSet<qint64> changedSeen[3];
    QList<qint64> removed[3];
    QList<qint64> tagLinksOf;
    QSet<qint64> tagLinksSeen;

    QList<ManagedObject *> inserted;
    QList<ManagedObject *> refreshed;
    QSet<ManagedObject *> refreshedSeen;
    QSet<qint64> present[3];

    explicit Batch(const QList<ObjectChange> &changes)
    {
        for (const ObjectChange &change : changes) {
            const int e = int(change.entity);
            if (change.type == ChangeType::remove) {
                removed[e].append(change.objectId);
                continue;
            }
            appendOnce(changed[e], changedSeen[e], change.objectId);
            const bool linksChanged = change.type == ChangeType::insert ||
                                      change.attributes.contains(QStringLiteral("tags"));
            if (change.entity == Entity::profile && linksChanged)
                appendOnce(tagLinksOf, tagLinksSeen, change.objectId);
        }
    }
};

Result<qint64> ContextMerge::mergeCommitted(qint64 token)
{
    auto transactions = m_context.connection().historyAfter(token, {});
    if (!transactions)
        return transactions.error();
    if (transactions->isEmpty())
        return token;
    QList<ObjectChange> changes;
    for (const HistoryTransaction &transaction : std::as_const(*transactions))
        changes += transaction.changes;
    if (auto error = merge(changes))
        return *error;
    return transactions->last().token;
}

Status ContextMerge::merge(const QList<ObjectChange> &changes)
{
    if (changes.isEmpty())
        return std::nullopt;
    m_context.processPendingChanges();
    UndoRecorder::Pause pause(m_undo);
    Batch batch(changes);
    if (auto error = mergeRows(batch))
        return error;
    if (auto error = mergeTagLinks(batch))
        return error;
    removeGone(batch);
    announce(batch);
    return std::nullopt;
}

template<class Object>
Object *ContextMerge::mergedObject(Batch &batch, qint64 id)
{
    constexpr Entity entity = entityOf<Object>();
    batch.present[int(entity)].insert(id);
    if (auto *existing = static_cast<Object *>(m_state.object(entity, id))) {
        if (existing->isDeleted())
            return nullptr;
        appendOnce<ManagedObject *>(batch.refreshed, batch.refreshedSeen, existing);
        return existing;
    }
    Object *created = m_state.create<Object>(&m_context);
    RecordAccess::setObjectId(created, id);
    m_state.ids(entity).insert(id, created);
    batch.inserted.append(created);
    return created;
}

Status ContextMerge::mergeRows(Batch &batch)
{
    StoreConnection &store = m_context.connection();
    auto tags = store.readTags(batch.changed[int(Entity::tag)]);
    if (!tags)
        return tags.error();
    auto profiles = store.readProfiles(batch.changed[int(Entity::profile)]);
    if (!profiles)
        return profiles.error();
    auto forwardings = store.readForwardings(batch.changed[int(Entity::forwarding)]);
    if (!forwardings)
        return forwardings.error();
    mergeTags(batch, *tags);
    mergeProfiles(batch, *profiles);
    mergeForwardings(batch, *forwardings);
    mergeTagParents(*tags);
    return std::nullopt;
}

void ContextMerge::mergeTags(Batch &batch, const QList<TagRow> &rows)
{
    for (const TagRow &row : rows) {
        if (Tag *tag = mergedObject<Tag>(batch, row.id)) {
            auto *saved = m_state.savedState<TagSnapshot>(tag);
            mergeData(RecordAccess::data(tag), saved ? &saved->data : nullptr, row.data);
        }
    }
}

void ContextMerge::mergeProfiles(Batch &batch, const QList<ProfileRow> &rows)
{
    for (const ProfileRow &row : rows) {
        if (Profile *profile = mergedObject<Profile>(batch, row.id)) {
            auto *saved = m_state.savedState<ProfileSnapshot>(profile);
            mergeData(RecordAccess::data(profile), saved ? &saved->data : nullptr, row.data);
        }
    }
}

// Relationships follow the same rule as attributes: one changed here and not saved stays.
void ContextMerge::mergeForwardings(Batch &batch, const QList<ForwardingRow> &rows)
{
    for (const ForwardingRow &row : rows) {
        auto *forwarding = mergedObject<Forwarding>(batch, row.id);
        if (!forwarding)
            continue;
        auto *saved = m_state.savedState<ForwardingSnapshot>(forwarding);
        const bool editedHere = saved && saved->profile != forwarding->profile();
        auto *owner = static_cast<Profile *>(m_state.object(Entity::profile, row.profileId));
        if (saved)
            saved->profile = owner;
        if (!editedHere)
            RecordAccess::linkProfile(forwarding, owner);
        mergeData(RecordAccess::data(forwarding), saved ? &saved->data : nullptr, row.data);
    }
}

// After every changed tag is there, so that a parent merged in the same batch is found.
void ContextMerge::mergeTagParents(const QList<TagRow> &rows)
{
    for (const TagRow &row : rows) {
        auto *tag = static_cast<Tag *>(m_state.object(Entity::tag, row.id));
        if (!tag || tag->isDeleted())
            continue;
        auto *saved = m_state.savedState<TagSnapshot>(tag);
        const bool editedHere = saved && saved->parent != tag->parent();
        auto *parent = static_cast<Tag *>(m_state.object(Entity::tag, row.parentId));
        if (saved)
            saved->parent = parent;
        if (!editedHere)
            RecordAccess::linkParent(tag, parent);
    }
}

Status ContextMerge::mergeTagLinks(Batch &batch)
{
    auto links = m_context.connection().readProfileTags(batch.tagLinksOf);
    if (!links)
        return links.error();
    QHash<qint64, QList<Tag *>> tagsOf;
    for (const ProfileTagLink &link : *links) {
        if (auto *tag = static_cast<Tag *>(m_state.object(Entity::tag, link.tagId)))
            tagsOf[link.profileId].append(tag);
    }
    for (qint64 id : std::as_const(batch.tagLinksOf)) {
        auto *profile = static_cast<Profile *>(m_state.object(Entity::profile, id));
        if (profile && !profile->isDeleted())
            RecordAccess::linkTags(profile, mergedTags(profile, tagsOf.value(id)));
    }
    return std::nullopt;
}

// Tags added or removed here and not saved yet are added to or removed from what was stored, so
// that edits of the same profile by several writers all count.
QList<Tag *> ContextMerge::mergedTags(Profile *profile, const QList<Tag *> &incoming)
{
    auto *saved = m_state.savedState<ProfileSnapshot>(profile);
    if (!saved)
        return incoming;
    QList<Tag *> merged = incoming;
    for (Tag *tag : profile->tags()) {
        if (!saved->tags.contains(tag) && !merged.contains(tag))
            merged.append(tag);
    }
    for (Tag *tag : std::as_const(saved->tags)) {
        if (!profile->tags().contains(tag))
            merged.removeOne(tag);
    }
    saved->tags = incoming;
    return merged;
}

// Rows that are gone by now were deleted after the change was written.
void ContextMerge::removeGone(Batch &batch)
{
    for (Entity entity : {Entity::forwarding, Entity::profile, Entity::tag}) {
        const int e = int(entity);
        for (qint64 id : std::as_const(batch.changed[e])) {
            if (!batch.present[e].contains(id))
                batch.removed[e].append(id);
        }
        for (qint64 id : std::as_const(batch.removed[e])) {
            if (ManagedObject *gone = m_state.object(entity, id))
                remove(gone);
        }
    }
}

void ContextMerge::announce(Batch &batch)
{
    ObjectsDidChange change;
    QSet<ManagedObject *> inserted;
    for (ManagedObject *object : std::as_const(batch.inserted)) {
        if (!object->isDeleted()) {
            change.inserted.append(object);
            inserted.insert(object);
        }
    }
    // Owners of moved or removed forwardings and tags count as refreshed too.
    for (ManagedObject *object : std::exchange(m_state.notifyUpdated, {}))
        appendOnce(batch.refreshed, batch.refreshedSeen, object);
    for (ManagedObject *object : std::as_const(batch.refreshed)) {
        if (!object->isDeleted() && !inserted.contains(object))
            change.refreshed.append(object);
    }
    change.deleted = std::exchange(m_state.notifyDeleted, {});
    m_state.notifyInserted.clear();
    m_state.notified.clear();
    if (!change.isEmpty())
        Q_EMIT m_context.objectsDidChange(change);
}

void ContextMerge::remove(ManagedObject *object)
{
    if (RecordAccess::isRemovedByMerge(object))
        return;
    // Deleted here as well: it is unlinked already, and its row is gone, so a save has nothing
    // left to delete and undo nothing to bring back.
    const bool deletedHere = object->isDeleted();
    if (!deletedHere)
        unlink(object);
    RecordAccess::markRemovedByMerge(object);
    m_state.ids(object->entity()).remove(object->objectId());
    m_state.inserted.removeOne(object);
    m_state.deleted.removeOne(object);
    m_state.committed.remove(object);
    if (!deletedHere)
        m_state.notifyDeletion(object);
}

void ContextMerge::unlink(ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::profile: {
        auto *profile = static_cast<Profile *>(object);
        RecordAccess::linkTags(profile, {});
        for (Forwarding *forwarding : QList<Forwarding *>(profile->forwardings()))
            remove(forwarding);
        break;
    }
    case Entity::forwarding: {
        auto *forwarding = static_cast<Forwarding *>(object);
        if (Profile *owner = forwarding->profile())
            m_state.notify(m_state.notifyUpdated, owner);
        RecordAccess::linkProfile(forwarding, nullptr);
        break;
    }
    case Entity::tag:
        unlinkRemovedTag(static_cast<Tag *>(object));
        break;
    }
}

void ContextMerge::unlinkRemovedTag(Tag *tag)
{
    // A tag that another writer merged into one of the same name: links made here and not saved
    // yet go to that one.
    Tag *survivor = tag->name() ? committedTagNamed(*tag->name(), tag) : nullptr;
    for (Profile *profile : QList<Profile *>(tag->profiles())) {
        QList<Tag *> tags = profile->tags();
        tags.removeOne(tag);
        auto *saved = m_state.savedState<ProfileSnapshot>(profile);
        const bool linkedHere =
            m_state.inserted.contains(profile) || (saved && !saved->tags.contains(tag));
        if (survivor && linkedHere && !tags.contains(survivor))
            tags.append(survivor);
        RecordAccess::linkTags(profile, tags);
        if (saved)
            saved->tags.removeOne(tag);
        m_state.notify(m_state.notifyUpdated, profile);
    }
    for (Tag *child : QList<Tag *>(tag->children()))
        RecordAccess::linkParent(child, nullptr);
    RecordAccess::linkParent(tag, nullptr);
}

Tag *ContextMerge::committedTagNamed(const QString &name, const Tag *except) const
{
    Tag *found = nullptr;
    for (Tag *tag : std::as_const(m_state.tags)) {
        if (tag == except || tag->isDeleted() || tag->objectId() == 0 || tag->name() != name)
            continue;
        // Of several, the one that de-duplication would keep.
        const auto key = [](const Tag *t) {
            return t->uuid() ? t->uuid()->toString(QUuid::WithoutBraces).toUpper() : QString();
        };
        if (!found || key(tag) < key(found))
            found = tag;
    }
    return found;
}

void ContextMerge::adoptCommittedTags()
{
    UndoRecorder::Pause pause(m_undo);
    const QList<ManagedObject *> inserted = m_state.inserted;
    for (ManagedObject *object : inserted) {
        if (object->entity() != Entity::tag)
            continue;
        auto *made = static_cast<Tag *>(object);
        if (!made->name())
            continue;
        if (Tag *existing = committedTagNamed(*made->name(), made))
            replaceTag(made, existing);
    }
}

void ContextMerge::replaceTag(Tag *made, Tag *existing)
{
    for (Profile *profile : QList<Profile *>(made->profiles())) {
        QList<Tag *> tags = profile->tags();
        tags.replace(tags.indexOf(made), existing);
        RecordAccess::linkTags(profile, tags);
        m_state.notify(m_state.notifyUpdated, profile);
    }
    for (Tag *child : QList<Tag *>(made->children()))
        RecordAccess::linkParent(child, existing);
    remove(made);
    m_context.schedulePendingChanges();
}
