#include "objectcontext.h"

#include "forwarding.h"
#include "localized.h"
#include "profile.h"
#include "sqlitestore.h"
#include "sqltransaction.h"
#include "tag.h"
#include "undostack.h"

#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <cassert>
#include <type_traits>
#include <variant>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace {

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

template<class T>
bool sameMembers(const QList<T *> &a, const QList<T *> &b)
{
    return a.size() == b.size() && QSet<T *>(a.begin(), a.end()) == QSet<T *>(b.begin(), b.end());
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

// The keys that an edit added, changed or removed relative to its base, applied to another
// state of the dictionary: writers editing different keys all count, and undo takes back only
// the keys of its step.
std::optional<QJsonObject> mergedDictionary(const std::optional<QJsonObject> &edited,
                                            const std::optional<QJsonObject> &base,
                                            const std::optional<QJsonObject> &onto)
{
    const QJsonObject after = edited.value_or(QJsonObject());
    const QJsonObject before = base.value_or(QJsonObject());
    QJsonObject merged = onto.value_or(QJsonObject());
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (!after.contains(it.key()))
            merged.remove(it.key());
    }
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (before.value(it.key()) != it.value())
            merged.insert(it.key(), it.value());
    }
    if (!edited && merged.isEmpty())
        return std::nullopt;
    return merged;
}

// Options with an empty value mean "not set" and are never stored.
void dropEmptyValues(std::optional<QJsonObject> &options)
{
    if (!options)
        return;
    for (auto it = options->begin(); it != options->end();) {
        if (it.value().isString() && it.value().toString().isEmpty())
            it = options->erase(it);
        else
            ++it;
    }
}

// The dictionaries in the mask as mergedDictionary makes them; the other attributes stay.
template<class Data>
void mergeDictionaries(Data &merged, const Data &edited, const Data &base, const Data &onto,
                       AttributeMask mask)
{
    forEachMember<Data>([&](int index, auto member) {
        using Value = std::remove_cvref_t<decltype(merged.*member.pointer)>;
        if constexpr (std::is_same_v<Value, std::optional<QJsonObject>>) {
            if (!(mask & (AttributeMask(1) << index)))
                return;
            auto &value = merged.*member.pointer;
            value = mergedDictionary(edited.*member.pointer, base.*member.pointer,
                                     onto.*member.pointer);
            if (member.pointer == &ProfileData::options)
                dropEmptyValues(value);
        }
    });
}

} // namespace

struct UndoStep
{
    struct Entry
    {
        ManagedObject *object;
        Snapshot before;
        Snapshot after;
        bool existedBefore;
        bool existsAfter;
    };
    QList<Entry> entries;
};

struct ObjectContext::Tracking
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

    // The open undo step: each object's state when the step first touched it.
    struct Before
    {
        Snapshot state;
        bool existed;
    };
    QHash<ManagedObject *, Before> step;
    QList<ManagedObject *> stepOrder;

    QList<ManagedObject *> notifyInserted;
    QList<ManagedObject *> notifyUpdated;
    QList<ManagedObject *> notifyDeleted;
    QSet<ManagedObject *> notified;
    bool processScheduled = false;

    QHash<qint64, ManagedObject *> &ids(Entity entity) { return byId[int(entity)]; }

    template<class T>
    T *create(ObjectContext *context)
    {
        auto object = std::make_unique<T>(RecordKey(), context);
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

    void notify(QList<ManagedObject *> &list, ManagedObject *object)
    {
        if (!notified.contains(object)) {
            notified.insert(object);
            list.append(object);
        }
    }
};

ObjectContext::ObjectContext(std::unique_ptr<StoreConnection> connection, const QString &author,
                             QObject *parent)
    : QObject(parent), m_connection(std::move(connection)), d(std::make_unique<Tracking>()),
      m_author(author)
{
    qRegisterMetaType<ObjectsDidChange>();
    qRegisterMetaType<QList<ObjectChange>>();
}

ObjectContext::~ObjectContext() = default;

void ObjectContext::setUndoEnabled(bool enabled)
{
    if (enabled && !m_undoStack)
        m_undoStack = std::make_unique<UndoStack>();
    else if (!enabled)
        m_undoStack.reset();
}

Status ObjectContext::load()
{
    assert(!m_loaded);
    auto contents = m_connection->readAll();
    if (!contents)
        return contents.error();
    QHash<qint64, Profile *> profiles;
    QHash<qint64, Tag *> tags;
    for (const TagRow &row : contents->tags) {
        Tag *tag = d->create<Tag>(this);
        tag->m_data = row.data;
        tag->m_objectId = row.id;
        tags.insert(row.id, tag);
        d->ids(Entity::tag).insert(row.id, tag);
    }
    for (const TagRow &row : contents->tags) {
        if (Tag *parent = tags.value(row.parentId)) {
            Tag *tag = tags.value(row.id);
            tag->m_parent = parent;
            parent->m_children.append(tag);
        }
    }
    for (const ProfileRow &row : contents->profiles) {
        Profile *profile = d->create<Profile>(this);
        profile->m_data = row.data;
        profile->m_objectId = row.id;
        profiles.insert(row.id, profile);
        d->ids(Entity::profile).insert(row.id, profile);
    }
    for (const ForwardingRow &row : contents->forwardings) {
        Forwarding *forwarding = d->create<Forwarding>(this);
        forwarding->m_data = row.data;
        forwarding->m_objectId = row.id;
        d->ids(Entity::forwarding).insert(row.id, forwarding);
        if (Profile *profile = profiles.value(row.profileId)) {
            forwarding->m_profile = profile;
            profile->m_forwardings.append(forwarding);
        }
    }
    for (const ProfileTagLink &link : contents->links) {
        Profile *profile = profiles.value(link.profileId);
        Tag *tag = tags.value(link.tagId);
        if (profile && tag) {
            profile->m_tags.append(tag);
            tag->m_profiles.append(profile);
        }
    }
    m_historyToken = contents->historyToken;
    m_loaded = true;
    return std::nullopt;
}

QList<Profile *> ObjectContext::profiles() const
{
    return liveOnly(d->profiles);
}

QList<Forwarding *> ObjectContext::forwardings() const
{
    return liveOnly(d->forwardings);
}

QList<Tag *> ObjectContext::tags() const
{
    return liveOnly(d->tags);
}

ManagedObject *ObjectContext::object(Entity entity, qint64 objectId) const
{
    return d->byId[int(entity)].value(objectId);
}

Profile *ObjectContext::profileWithId(qint64 objectId) const
{
    return static_cast<Profile *>(object(Entity::profile, objectId));
}

void ObjectContext::schedulePendingChanges()
{
    if (d->processScheduled)
        return;
    d->processScheduled = true;
    // Like an event loop turn in a desktop application: edits made in one turn form one undo
    // step and one announcement.
    QTimer::singleShot(0, this, [this] {
        if (d->processScheduled)
            processPendingChanges();
    });
}

void ObjectContext::willChange(ManagedObject *object)
{
    assert(thread() == QThread::currentThread());
    if (object->m_objectId != 0 && !object->m_deleted && !d->committed.contains(object))
        d->committed.insert(object, snapshotOf(object));
    if (m_undoStack && m_recordUndo && !d->step.contains(object)) {
        d->step.insert(object, {snapshotOf(object), !object->m_deleted});
        d->stepOrder.append(object);
    }
    schedulePendingChanges();
}

void ObjectContext::didChange(ManagedObject *object)
{
    d->notify(d->notifyUpdated, object);
}

void ObjectContext::registerInsert(ManagedObject *object)
{
    if (m_undoStack && m_recordUndo) {
        d->step.insert(object, {snapshotOf(object), false});
        d->stepOrder.append(object);
    }
    d->inserted.append(object);
    d->notify(d->notifyInserted, object);
    schedulePendingChanges();
}

Profile *ObjectContext::insertProfile(const ProfileData &initial)
{
    assert(thread() == QThread::currentThread());
    Profile *profile = d->create<Profile>(this);
    profile->m_data = initial;
    if (!initial.uuid) {
        ProfileData &data = profile->m_data;
        data.uuid = QUuid::createUuid();
        data.name = localized("Unnamed");
        data.port = 0;
        data.priority = 0;
        data.autoConnect = false;
        data.retryAttempts = 999;
        data.logToFile = false;
        data.options = QJsonObject{{QStringLiteral("ExitOnForwardFailure"), QStringLiteral("yes")},
                                   {QStringLiteral("ServerAliveInterval"), QStringLiteral("15")},
                                   {QStringLiteral("ServerAliveCountMax"), QStringLiteral("3")}};
    }
    registerInsert(profile);
    return profile;
}

Forwarding *ObjectContext::insertForwarding(const ForwardingData &initial)
{
    assert(thread() == QThread::currentThread());
    Forwarding *forwarding = d->create<Forwarding>(this);
    forwarding->m_data = initial;
    if (!initial.uuid) {
        forwarding->m_data.uuid = QUuid::createUuid();
        forwarding->m_data.priority = 0;
        forwarding->m_data.enabled = true;
        forwarding->m_data.type = 0;
    }
    registerInsert(forwarding);
    return forwarding;
}

Tag *ObjectContext::insertTag(const TagData &initial)
{
    assert(thread() == QThread::currentThread());
    Tag *tag = d->create<Tag>(this);
    tag->m_data = initial;
    if (!initial.uuid)
        tag->m_data.uuid = QUuid::createUuid();
    registerInsert(tag);
    return tag;
}

void ObjectContext::deleteObject(ManagedObject *object)
{
    assert(thread() == QThread::currentThread());
    if (object->m_deleted)
        return;
    willChange(object);
    switch (object->entity()) {
    case Entity::profile: {
        auto *profile = static_cast<Profile *>(object);
        for (Forwarding *forwarding : QList<Forwarding *>(profile->m_forwardings))
            deleteObject(forwarding);
        linkTags(profile, {});
        break;
    }
    case Entity::forwarding: {
        auto *forwarding = static_cast<Forwarding *>(object);
        if (Profile *owner = forwarding->m_profile)
            d->notify(d->notifyUpdated, owner);
        linkProfile(forwarding, nullptr);
        break;
    }
    case Entity::tag: {
        auto *tag = static_cast<Tag *>(object);
        for (Profile *profile : QList<Profile *>(tag->m_profiles))
            profile->removeTag(tag);
        for (Tag *child : QList<Tag *>(tag->m_children))
            child->setParent(nullptr);
        linkParent(tag, nullptr);
        break;
    }
    }
    object->m_deleted = true;
    if (!d->inserted.removeOne(object))
        d->deleted.append(object);
    d->notify(d->notifyDeleted, object);
}

bool ObjectContext::hasChanges() const
{
    if (!d->inserted.isEmpty() || !d->deleted.isEmpty())
        return true;
    for (auto it = d->committed.cbegin(); it != d->committed.cend(); ++it) {
        if (differences(it.value(), snapshotOf(it.key())) != 0)
            return true;
    }
    return false;
}

void ObjectContext::processPendingChanges()
{
    d->processScheduled = false;
    if (!d->stepOrder.isEmpty()) {
        auto step = std::make_shared<UndoStep>();
        for (ManagedObject *object : std::as_const(d->stepOrder)) {
            const Tracking::Before &before = d->step.value(object);
            UndoStep::Entry entry{object, before.state, snapshotOf(object), before.existed,
                                  !object->m_deleted};
            const bool unchanged = entry.existedBefore == entry.existsAfter &&
                                   differences(entry.before, entry.after) == 0;
            if (!unchanged && (entry.existedBefore || entry.existsAfter))
                step->entries.append(std::move(entry));
        }
        d->step.clear();
        d->stepOrder.clear();
        if (!step->entries.isEmpty() && m_undoStack)
            m_undoStack->record(std::move(step));
    }
    if (d->notified.isEmpty())
        return;
    ObjectsDidChange change;
    change.inserted = std::exchange(d->notifyInserted, {});
    change.deleted = std::exchange(d->notifyDeleted, {});
    for (ManagedObject *object : std::exchange(d->notifyUpdated, {})) {
        if (!object->m_deleted && !change.inserted.contains(object))
            change.updated.append(object);
    }
    d->notified.clear();
    Q_EMIT objectsDidChange(change);
}

void ObjectContext::linkProfile(Forwarding *forwarding, Profile *profile)
{
    if (forwarding->m_profile == profile)
        return;
    if (forwarding->m_profile)
        forwarding->m_profile->m_forwardings.removeOne(forwarding);
    forwarding->m_profile = profile;
    if (profile)
        profile->m_forwardings.append(forwarding);
}

void ObjectContext::linkTags(Profile *profile, const QList<Tag *> &tags)
{
    for (Tag *tag : std::as_const(profile->m_tags)) {
        if (!tags.contains(tag))
            tag->m_profiles.removeOne(profile);
    }
    for (Tag *tag : tags) {
        if (!profile->m_tags.contains(tag))
            tag->m_profiles.append(profile);
    }
    profile->m_tags.clear();
    for (Tag *tag : tags) {
        if (!profile->m_tags.contains(tag))
            profile->m_tags.append(tag);
    }
}

void ObjectContext::linkParent(Tag *tag, Tag *parent)
{
    if (tag->m_parent == parent)
        return;
    if (tag->m_parent)
        tag->m_parent->m_children.removeOne(tag);
    tag->m_parent = parent;
    if (parent)
        parent->m_children.append(tag);
}

void ObjectContext::applySnapshot(ManagedObject *object, const void *state, const void *replaced,
                                  AttributeMask mask)
{
    const auto &snapshot = *static_cast<const Snapshot *>(state);
    willChange(object);
    if (auto *p = std::get_if<ProfileSnapshot>(&snapshot)) {
        auto *profile = static_cast<Profile *>(object);
        // Of a dictionary, only the keys of the step go back: keys merged since stay.
        ProfileData restored = p->data;
        if (replaced) {
            const auto &after = std::get<ProfileSnapshot>(*static_cast<const Snapshot *>(replaced));
            mergeDictionaries(restored, p->data, after.data, profile->m_data, mask);
        }
        copyAttributes(profile->m_data, restored, mask);
        if (mask & relationshipBit<ProfileData>)
            linkTags(profile, liveOnly(p->tags));
    } else if (auto *f = std::get_if<ForwardingSnapshot>(&snapshot)) {
        auto *forwarding = static_cast<Forwarding *>(object);
        copyAttributes(forwarding->m_data, f->data, mask);
        if (mask & relationshipBit<ForwardingData>)
            linkProfile(forwarding, f->profile && !f->profile->isDeleted() ? f->profile : nullptr);
    } else {
        const auto &t = std::get<TagSnapshot>(snapshot);
        auto *tag = static_cast<Tag *>(object);
        copyAttributes(tag->m_data, t.data, mask);
        if (mask & relationshipBit<TagData>)
            linkParent(tag, t.parent && !t.parent->isDeleted() ? t.parent : nullptr);
    }
    didChange(object);
}

void ObjectContext::performWithoutUndo(const std::function<void()> &edits)
{
    processPendingChanges();
    const bool recordUndo = std::exchange(m_recordUndo, false);
    edits();
    processPendingChanges();
    m_recordUndo = recordUndo;
}

void ObjectContext::undo()
{
    replay(true);
}

void ObjectContext::redo()
{
    replay(false);
}

void ObjectContext::replay(bool undoing)
{
    if (!m_undoStack)
        return;
    processPendingChanges();
    auto group = undoing ? m_undoStack->takeUndoGroup() : m_undoStack->takeRedoGroup();
    if (!group)
        return;
    m_undoStack->beginReplay(undoing, group->name);

    // A group holds what its steps changed; replaying it puts back the state before them.
    // What the replay changes is recorded in turn, as the group that reverses it.
    QList<UndoStep::Entry> entries;
    for (const auto &step : std::as_const(group->steps))
        entries += step->entries;
    std::reverse(entries.begin(), entries.end());

    // Objects come back first, so that restored relationships find them; objects that the
    // steps made go last, after their relationships were undone.
    for (const UndoStep::Entry &entry : std::as_const(entries)) {
        ManagedObject *object = entry.object;
        if (!entry.existedBefore || !object->m_deleted || object->m_removedByMerge)
            continue;
        willChange(object);
        object->m_deleted = false;
        if (!d->deleted.removeOne(object))
            d->inserted.append(object);
        d->notify(d->notifyInserted, object);
    }
    for (const UndoStep::Entry &entry : std::as_const(entries)) {
        if (!entry.existedBefore || entry.object->m_deleted)
            continue;
        const AttributeMask mask = entry.existsAfter ? differences(entry.before, entry.after)
                                                     : everything(entry.object->entity());
        applySnapshot(entry.object, &entry.before, entry.existsAfter ? &entry.after : nullptr,
                      mask);
    }
    for (const UndoStep::Entry &entry : std::as_const(entries)) {
        if (!entry.existedBefore && !entry.object->m_removedByMerge)
            deleteObject(entry.object);
    }
    processPendingChanges();
    m_undoStack->endReplay();
}

Status ObjectContext::saveIfChanged(const std::function<Status()> &check)
{
    if (!hasChanges())
        return std::nullopt;
    return save(check);
}

Status ObjectContext::save(const std::function<Status()> &check)
{
    assert(thread() == QThread::currentThread());
    processPendingChanges();
    QList<ObjectChange> changes;
    QList<ManagedObject *> assigned;
    const Result<qint64> token = writeTransaction(changes, assigned, check);
    if (!token) {
        for (ManagedObject *object : std::as_const(assigned)) {
            d->ids(object->entity()).remove(object->m_objectId);
            object->m_objectId = 0;
        }
        qCWarning(lcStore) << "save failed:" << token.error().message;
        return token.error();
    }
    for (ManagedObject *object : std::as_const(d->deleted)) {
        d->ids(object->entity()).remove(object->m_objectId);
        object->m_objectId = 0;
    }
    d->inserted.clear();
    d->deleted.clear();
    d->committed.clear();
    noteMergedHistory(*token);
    if (!changes.isEmpty())
        Q_EMIT didSave(changes);
    return std::nullopt;
}

Result<qint64> ObjectContext::writeTransaction(QList<ObjectChange> &changes,
                                               QList<ManagedObject *> &assigned,
                                               const std::function<Status()> &check)
{
    auto transaction = SqlTransaction::begin(*m_connection, SqlTransaction::Kind::write);
    if (!transaction)
        return transaction.error();
    if (auto error = mergeCommitted())
        return *error;
    if (check) {
        if (auto error = check())
            return *error;
    }
    adoptCommittedTags();
    if (auto error = writeChanges(changes, assigned))
        return *error;
    qint64 token = 0;
    if (!changes.isEmpty()) {
        auto written = m_connection->writeHistory(m_author, changes);
        if (!written)
            return written.error();
        token = *written;
    }
    if (auto error = transaction->commit())
        return *error;
    return token;
}

Status ObjectContext::mergeCommitted()
{
    if (!m_loaded)
        return std::nullopt;
    auto transactions = m_connection->historyAfter(m_historyToken, {});
    if (!transactions)
        return transactions.error();
    if (transactions->isEmpty())
        return std::nullopt;
    QList<ObjectChange> changes;
    for (const HistoryTransaction &transaction : std::as_const(*transactions))
        changes += transaction.changes;
    if (auto error = mergeChanges(changes))
        return error;
    noteMergedHistory(transactions->last().token);
    return std::nullopt;
}

Tag *ObjectContext::committedTagNamed(const QString &name, const Tag *except) const
{
    Tag *found = nullptr;
    for (Tag *tag : d->tags) {
        if (tag == except || tag->m_deleted || tag->m_objectId == 0 || tag->m_data.name != name)
            continue;
        // Of several, the one that de-duplication would keep.
        const auto key = [](const Tag *t) {
            return t->m_data.uuid ? t->m_data.uuid->toString(QUuid::WithoutBraces).toUpper()
                                  : QString();
        };
        if (!found || key(tag) < key(found))
            found = tag;
    }
    return found;
}

void ObjectContext::adoptCommittedTags()
{
    const bool recordUndo = std::exchange(m_recordUndo, false);
    const QList<ManagedObject *> inserted = d->inserted;
    for (ManagedObject *object : inserted) {
        if (object->entity() != Entity::tag)
            continue;
        auto *made = static_cast<Tag *>(object);
        if (!made->m_data.name)
            continue;
        Tag *existing = committedTagNamed(*made->m_data.name, made);
        if (!existing)
            continue;
        for (Profile *profile : QList<Profile *>(made->m_profiles)) {
            QList<Tag *> tags = profile->m_tags;
            tags.replace(tags.indexOf(made), existing);
            linkTags(profile, tags);
            d->notify(d->notifyUpdated, profile);
        }
        for (Tag *child : QList<Tag *>(made->m_children))
            linkParent(child, existing);
        removeMergedObject(made);
        schedulePendingChanges();
    }
    m_recordUndo = recordUndo;
}

namespace {

qint64 idOf(const ManagedObject *object)
{
    return object ? object->objectId() : 0;
}

} // namespace

Status ObjectContext::writeChanges(QList<ObjectChange> &changes, QList<ManagedObject *> &assigned)
{
    StoreConnection &store = *m_connection;
    // New rows: tags, then profiles, then forwardings, so that every reference finds its row.
    for (Entity entity : {Entity::tag, Entity::profile, Entity::forwarding}) {
        for (ManagedObject *object : std::as_const(d->inserted)) {
            if (object->entity() != entity)
                continue;
            Result<qint64> id = qint64(0);
            if (entity == Entity::tag)
                id = store.insertTag(static_cast<Tag *>(object)->m_data);
            else if (entity == Entity::profile)
                id = store.insertProfile(static_cast<Profile *>(object)->m_data);
            else {
                auto *forwarding = static_cast<Forwarding *>(object);
                id = store.insertForwarding(forwarding->m_data, idOf(forwarding->m_profile));
            }
            if (!id)
                return id.error();
            object->m_objectId = *id;
            d->ids(entity).insert(*id, object);
            assigned.append(object);
            changes.append({entity, *id, uuidOf(object), ChangeType::insert,
                            changedNames(entity, everything(entity))});
        }
    }

    auto writeRelationship = [&store](ManagedObject *object) -> Status {
        switch (object->entity()) {
        case Entity::profile: {
            QList<qint64> tagIds;
            for (Tag *tag : static_cast<Profile *>(object)->m_tags)
                tagIds.append(tag->objectId());
            return store.setProfileTags(object->objectId(), tagIds);
        }
        case Entity::forwarding:
            return store.setForwardingProfile(object->objectId(),
                                              idOf(static_cast<Forwarding *>(object)->m_profile));
        case Entity::tag:
            return store.setTagParent(object->objectId(),
                                      idOf(static_cast<Tag *>(object)->m_parent));
        }
        return std::nullopt;
    };
    for (ManagedObject *object : std::as_const(d->inserted)) {
        if (object->entity() == Entity::forwarding)
            continue;
        if (auto error = writeRelationship(object))
            return error;
    }

    for (auto it = d->committed.cbegin(); it != d->committed.cend(); ++it) {
        ManagedObject *object = it.key();
        if (object->m_deleted)
            continue;
        const Snapshot current = snapshotOf(object);
        const AttributeMask mask = differences(it.value(), current);
        if (mask == 0)
            continue;
        Status error;
        if (auto *p = std::get_if<ProfileSnapshot>(&current))
            error = store.updateProfile(object->objectId(), p->data, mask);
        else if (auto *f = std::get_if<ForwardingSnapshot>(&current))
            error = store.updateForwarding(object->objectId(), f->data, mask);
        else
            error = store.updateTag(object->objectId(), std::get<TagSnapshot>(current).data, mask);
        if (!error && (mask & relationshipOf(object->entity())))
            error = writeRelationship(object);
        if (error)
            return error;
        changes.append({object->entity(), object->objectId(), uuidOf(object), ChangeType::update,
                        changedNames(object->entity(), mask)});
    }

    for (Entity entity : {Entity::forwarding, Entity::profile, Entity::tag}) {
        for (ManagedObject *object : std::as_const(d->deleted)) {
            if (object->entity() != entity)
                continue;
            if (auto error = store.deleteRow(entity, object->objectId()))
                return error;
            changes.append({entity, object->objectId(), uuidOf(object), ChangeType::remove, {}});
        }
    }
    return std::nullopt;
}

void ObjectContext::removeMergedObject(ManagedObject *object)
{
    if (object->m_deleted)
        return;
    switch (object->entity()) {
    case Entity::profile: {
        auto *profile = static_cast<Profile *>(object);
        linkTags(profile, {});
        for (Forwarding *forwarding : QList<Forwarding *>(profile->m_forwardings))
            removeMergedObject(forwarding);
        break;
    }
    case Entity::forwarding:
        if (Profile *owner = static_cast<Forwarding *>(object)->m_profile)
            d->notify(d->notifyUpdated, owner);
        linkProfile(static_cast<Forwarding *>(object), nullptr);
        break;
    case Entity::tag: {
        auto *tag = static_cast<Tag *>(object);
        // A tag that another writer merged into one of the same name: links made here and not
        // saved yet go to that one.
        Tag *survivor = tag->m_data.name ? committedTagNamed(*tag->m_data.name, tag) : nullptr;
        for (Profile *profile : QList<Profile *>(tag->m_profiles)) {
            QList<Tag *> tags = profile->m_tags;
            tags.removeOne(tag);
            auto it = d->committed.find(profile);
            const bool linkedHere =
                d->inserted.contains(profile) ||
                (it != d->committed.end() && !std::get<ProfileSnapshot>(*it).tags.contains(tag));
            if (survivor && linkedHere && !tags.contains(survivor))
                tags.append(survivor);
            linkTags(profile, tags);
            if (it != d->committed.end())
                std::get<ProfileSnapshot>(*it).tags.removeOne(tag);
            d->notify(d->notifyUpdated, profile);
        }
        for (Tag *child : QList<Tag *>(tag->m_children))
            linkParent(child, nullptr);
        linkParent(tag, nullptr);
        break;
    }
    }
    object->m_deleted = true;
    object->m_removedByMerge = true;
    d->ids(object->entity()).remove(object->m_objectId);
    d->inserted.removeOne(object);
    d->deleted.removeOne(object);
    d->committed.remove(object);
    d->notify(d->notifyDeleted, object);
}

namespace {

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

} // namespace

namespace {

template<class T>
void appendOnce(QList<T> &list, QSet<T> &seen, const T &value)
{
    if (!seen.contains(value)) {
        seen.insert(value);
        list.append(value);
    }
}

} // namespace

// What one merge touches: the rows to read again, the profiles whose tags to read, the rows
// deleted; then what the merge made of them.
struct ObjectContext::MergeBatch
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

    explicit MergeBatch(const QList<ObjectChange> &changes)
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

Status ObjectContext::mergeChanges(const QList<ObjectChange> &changes)
{
    if (!m_loaded || changes.isEmpty())
        return std::nullopt;
    processPendingChanges();
    const bool recordUndo = std::exchange(m_recordUndo, false);
    auto restore = qScopeGuard([&] { m_recordUndo = recordUndo; });

    MergeBatch batch(changes);
    if (auto error = mergeRows(batch))
        return error;
    if (auto error = mergeTagLinks(batch))
        return error;
    // Rows that are gone by now were deleted after the change was written.
    for (Entity entity : {Entity::forwarding, Entity::profile, Entity::tag}) {
        const int e = int(entity);
        for (qint64 id : std::as_const(batch.changed[e])) {
            if (!batch.present[e].contains(id))
                batch.removed[e].append(id);
        }
        for (qint64 id : std::as_const(batch.removed[e])) {
            if (ManagedObject *gone = object(entity, id))
                removeMergedObject(gone);
        }
    }
    announceMerge(batch);
    return std::nullopt;
}

template<class Object>
Object *ObjectContext::mergedObject(MergeBatch &batch, Entity entity, qint64 id)
{
    batch.present[int(entity)].insert(id);
    if (auto *existing = static_cast<Object *>(object(entity, id))) {
        if (existing->m_deleted)
            return nullptr;
        appendOnce<ManagedObject *>(batch.refreshed, batch.refreshedSeen, existing);
        return existing;
    }
    Object *created = d->create<Object>(this);
    created->m_objectId = id;
    d->ids(entity).insert(id, created);
    batch.inserted.append(created);
    return created;
}

template<class Snapshot>
Snapshot *ObjectContext::savedState(ManagedObject *object)
{
    auto it = d->committed.find(object);
    return it == d->committed.end() ? nullptr : &std::get<Snapshot>(*it);
}

Status ObjectContext::mergeRows(MergeBatch &batch)
{
    auto tags = m_connection->readTags(batch.changed[int(Entity::tag)]);
    if (!tags)
        return tags.error();
    auto profiles = m_connection->readProfiles(batch.changed[int(Entity::profile)]);
    if (!profiles)
        return profiles.error();
    auto forwardings = m_connection->readForwardings(batch.changed[int(Entity::forwarding)]);
    if (!forwardings)
        return forwardings.error();

    for (const TagRow &row : *tags) {
        if (Tag *tag = mergedObject<Tag>(batch, Entity::tag, row.id)) {
            auto *saved = savedState<TagSnapshot>(tag);
            mergeData(tag->m_data, saved ? &saved->data : nullptr, row.data);
        }
    }
    for (const ProfileRow &row : *profiles) {
        if (Profile *profile = mergedObject<Profile>(batch, Entity::profile, row.id)) {
            auto *saved = savedState<ProfileSnapshot>(profile);
            mergeData(profile->m_data, saved ? &saved->data : nullptr, row.data);
        }
    }
    // Relationships follow the same rule as attributes: one changed here and not saved stays.
    for (const ForwardingRow &row : *forwardings) {
        auto *forwarding = mergedObject<Forwarding>(batch, Entity::forwarding, row.id);
        if (!forwarding)
            continue;
        auto *saved = savedState<ForwardingSnapshot>(forwarding);
        const bool editedHere = saved && saved->profile != forwarding->m_profile;
        Profile *owner = profileWithId(row.profileId);
        if (saved)
            saved->profile = owner;
        if (!editedHere)
            linkProfile(forwarding, owner);
        mergeData(forwarding->m_data, saved ? &saved->data : nullptr, row.data);
    }
    for (const TagRow &row : *tags) {
        auto *tag = static_cast<Tag *>(object(Entity::tag, row.id));
        if (!tag || tag->m_deleted)
            continue;
        auto *saved = savedState<TagSnapshot>(tag);
        const bool editedHere = saved && saved->parent != tag->m_parent;
        auto *parent = static_cast<Tag *>(object(Entity::tag, row.parentId));
        if (saved)
            saved->parent = parent;
        if (!editedHere)
            linkParent(tag, parent);
    }
    return std::nullopt;
}

Status ObjectContext::mergeTagLinks(MergeBatch &batch)
{
    auto links = m_connection->readProfileTags(batch.tagLinksOf);
    if (!links)
        return links.error();
    QHash<qint64, QList<Tag *>> tagsOf;
    for (const ProfileTagLink &link : *links) {
        if (auto *tag = static_cast<Tag *>(object(Entity::tag, link.tagId)))
            tagsOf[link.profileId].append(tag);
    }
    for (qint64 id : std::as_const(batch.tagLinksOf)) {
        Profile *profile = profileWithId(id);
        if (!profile || profile->m_deleted)
            continue;
        const QList<Tag *> incoming = tagsOf.value(id);
        auto *saved = savedState<ProfileSnapshot>(profile);
        // Tags added or removed here and not saved yet are added to or removed from what was
        // stored, so that edits of the same profile by several writers all count.
        QList<Tag *> merged = incoming;
        if (saved) {
            for (Tag *tag : std::as_const(profile->m_tags)) {
                if (!saved->tags.contains(tag) && !merged.contains(tag))
                    merged.append(tag);
            }
            for (Tag *tag : std::as_const(saved->tags)) {
                if (!profile->m_tags.contains(tag))
                    merged.removeOne(tag);
            }
            saved->tags = incoming;
        }
        linkTags(profile, merged);
    }
    return std::nullopt;
}

void ObjectContext::announceMerge(MergeBatch &batch)
{
    ObjectsDidChange change;
    QSet<ManagedObject *> inserted;
    for (ManagedObject *object : std::as_const(batch.inserted)) {
        if (!object->m_deleted) {
            change.inserted.append(object);
            inserted.insert(object);
        }
    }
    // Owners of moved or removed forwardings and tags count as refreshed too.
    for (ManagedObject *object : std::exchange(d->notifyUpdated, {}))
        appendOnce(batch.refreshed, batch.refreshedSeen, object);
    for (ManagedObject *object : std::as_const(batch.refreshed)) {
        if (!object->m_deleted && !inserted.contains(object))
            change.refreshed.append(object);
    }
    change.deleted = std::exchange(d->notifyDeleted, {});
    d->notifyInserted.clear();
    d->notified.clear();
    if (!change.isEmpty())
        Q_EMIT objectsDidChange(change);
}
