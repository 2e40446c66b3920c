#include "objectcontext.h"

#include "changewriter.h"
#include "contextmerge.h"
#include "contextstate.h"
#include "localized.h"
#include "sqlitestore.h"
#include "sqltransaction.h"
#include "undorecorder.h"
#include "undostack.h"

#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <cassert>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace {

template<class T, class Row>
T *loadRow(ContextState &state, ObjectContext *context, Entity entity, const Row &row)
{
    T *object = state.create<T>(context);
    RecordAccess::data(object) = row.data;
    RecordAccess::setObjectId(object, row.id);
    state.ids(entity).insert(row.id, object);
    return object;
}

QHash<qint64, Tag *> loadTags(ContextState &state, ObjectContext *context,
                              const QList<TagRow> &rows)
{
    QHash<qint64, Tag *> tags;
    for (const TagRow &row : rows)
        tags.insert(row.id, loadRow<Tag>(state, context, Entity::tag, row));
    for (const TagRow &row : rows) {
        if (Tag *parent = tags.value(row.parentId))
            RecordAccess::linkParent(tags.value(row.id), parent);
    }
    return tags;
}

QHash<qint64, Profile *> loadProfilesAndForwardings(ContextState &state, ObjectContext *context,
                                                    const StoreContents &contents)
{
    QHash<qint64, Profile *> profiles;
    for (const ProfileRow &row : contents.profiles)
        profiles.insert(row.id, loadRow<Profile>(state, context, Entity::profile, row));
    for (const ForwardingRow &row : contents.forwardings) {
        auto *forwarding = loadRow<Forwarding>(state, context, Entity::forwarding, row);
        if (Profile *profile = profiles.value(row.profileId))
            RecordAccess::linkProfile(forwarding, profile);
    }
    return profiles;
}

void loadTagLinks(const QList<ProfileTagLink> &links, const QHash<qint64, Profile *> &profiles,
                  const QHash<qint64, Tag *> &tags)
{
    for (const ProfileTagLink &link : links) {
        Profile *profile = profiles.value(link.profileId);
        Tag *tag = tags.value(link.tagId);
        if (profile && tag)
            RecordAccess::linkTags(profile, profile->tags() + QList<Tag *>{tag});
    }
}

// The creation values of a new profile.
void initializeProfile(ProfileData &data)
{
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

} // namespace

ObjectContext::ObjectContext(std::unique_ptr<StoreConnection> connection, const QString &author,
                             QObject *parent)
    : QObject(parent), m_connection(std::move(connection)), d(std::make_unique<ContextState>()),
      m_undo(std::make_unique<UndoRecorder>(*this, *d)),
      m_merge(std::make_unique<ContextMerge>(*this, *d, *m_undo)), m_author(author)
{
    qRegisterMetaType<ObjectsDidChange>();
    qRegisterMetaType<QList<ObjectChange>>();
}

ObjectContext::~ObjectContext() = default;

void ObjectContext::setUndoEnabled(bool enabled)
{
    m_undo->setEnabled(enabled);
}

UndoStack *ObjectContext::undoStack() const
{
    return m_undo->stack();
}

void ObjectContext::undo()
{
    m_undo->replay(true);
}

void ObjectContext::redo()
{
    m_undo->replay(false);
}

void ObjectContext::performWithoutUndo(const std::function<void()> &edits)
{
    processPendingChanges();
    UndoRecorder::Pause pause(*m_undo);
    edits();
    processPendingChanges();
}

Status ObjectContext::load()
{
    assert(!m_loaded);
    auto contents = m_connection->readAll();
    if (!contents)
        return contents.error();
    const QHash<qint64, Tag *> tags = loadTags(*d, this, contents->tags);
    const QHash<qint64, Profile *> profiles = loadProfilesAndForwardings(*d, this, *contents);
    loadTagLinks(contents->links, profiles, tags);
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
    return d->object(entity, objectId);
}

Profile *ObjectContext::profileWithId(qint64 objectId) const
{
    return static_cast<Profile *>(object(Entity::profile, objectId));
}

void ObjectContext::schedulePendingChanges()
{
    if (m_processScheduled)
        return;
    m_processScheduled = true;
    // Like an event loop turn in a desktop application: edits made in one turn form one undo
    // step and one announcement.
    QTimer::singleShot(0, this, [this] {
        if (m_processScheduled)
            processPendingChanges();
    });
}

void ObjectContext::willChange(ManagedObject *object)
{
    assert(thread() == QThread::currentThread());
    if (object->objectId() != 0 && !object->isDeleted() && !d->committed.contains(object))
        d->committed.insert(object, snapshotOf(object));
    m_undo->willChange(object);
    schedulePendingChanges();
}

void ObjectContext::didChange(ManagedObject *object)
{
    d->notify(d->notifyUpdated, object);
}

void ObjectContext::registerInsert(ManagedObject *object)
{
    m_undo->didInsert(object);
    d->inserted.append(object);
    d->notify(d->notifyInserted, object);
    schedulePendingChanges();
}

Profile *ObjectContext::insertProfile(const ProfileData &initial)
{
    assert(thread() == QThread::currentThread());
    Profile *profile = d->create<Profile>(this);
    RecordAccess::data(profile) = initial;
    if (!initial.uuid)
        initializeProfile(RecordAccess::data(profile));
    registerInsert(profile);
    return profile;
}

Forwarding *ObjectContext::insertForwarding(const ForwardingData &initial)
{
    assert(thread() == QThread::currentThread());
    Forwarding *forwarding = d->create<Forwarding>(this);
    ForwardingData &data = RecordAccess::data(forwarding);
    data = initial;
    if (!initial.uuid) {
        data.uuid = QUuid::createUuid();
        data.priority = 0;
        data.enabled = true;
        data.type = 0;
    }
    registerInsert(forwarding);
    return forwarding;
}

Tag *ObjectContext::insertTag(const TagData &initial)
{
    assert(thread() == QThread::currentThread());
    Tag *tag = d->create<Tag>(this);
    RecordAccess::data(tag) = initial;
    if (!initial.uuid)
        RecordAccess::data(tag).uuid = QUuid::createUuid();
    registerInsert(tag);
    return tag;
}

void ObjectContext::deleteObject(ManagedObject *object)
{
    assert(thread() == QThread::currentThread());
    if (object->isDeleted())
        return;
    willChange(object);
    detachForDeletion(object);
    RecordAccess::setDeleted(object, true);
    if (!d->inserted.removeOne(object))
        d->deleted.append(object);
    d->notifyDeletion(object);
}

void ObjectContext::detachForDeletion(ManagedObject *object)
{
    switch (object->entity()) {
    case Entity::profile: {
        auto *profile = static_cast<Profile *>(object);
        for (Forwarding *forwarding : QList<Forwarding *>(profile->forwardings()))
            deleteObject(forwarding);
        RecordAccess::linkTags(profile, {});
        break;
    }
    case Entity::forwarding: {
        auto *forwarding = static_cast<Forwarding *>(object);
        if (Profile *owner = forwarding->profile())
            d->notify(d->notifyUpdated, owner);
        RecordAccess::linkProfile(forwarding, nullptr);
        break;
    }
    case Entity::tag: {
        auto *tag = static_cast<Tag *>(object);
        for (Profile *profile : QList<Profile *>(tag->profiles()))
            profile->removeTag(tag);
        for (Tag *child : QList<Tag *>(tag->children()))
            child->setParent(nullptr);
        RecordAccess::linkParent(tag, nullptr);
        break;
    }
    }
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
    m_processScheduled = false;
    m_undo->closeStep();
    announcePendingChanges();
}

void ObjectContext::announcePendingChanges()
{
    if (d->notified.isEmpty())
        return;
    ObjectsDidChange change;
    change.inserted = std::exchange(d->notifyInserted, {});
    change.deleted = std::exchange(d->notifyDeleted, {});
    for (ManagedObject *object : std::exchange(d->notifyUpdated, {})) {
        if (!object->isDeleted() && !change.inserted.contains(object))
            change.updated.append(object);
    }
    d->notified.clear();
    Q_EMIT objectsDidChange(change);
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
    ChangeWriter writer(*m_connection, *d);
    const Result<qint64> token = writeTransaction(writer, check);
    if (!token) {
        writer.takeBackRowIds();
        qCWarning(lcStore) << "save failed:" << token.error().message;
        return token.error();
    }
    finishSave(writer.changes(), *token);
    return std::nullopt;
}

Result<qint64> ObjectContext::writeTransaction(ChangeWriter &writer,
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
    m_merge->adoptCommittedTags();
    if (auto error = writer.write())
        return *error;
    qint64 token = 0;
    if (!writer.changes().isEmpty()) {
        auto written = m_connection->writeHistory(m_author, writer.changes());
        if (!written)
            return written.error();
        token = *written;
    }
    if (auto error = transaction->commit())
        return *error;
    return token;
}

void ObjectContext::setReleasesDeletedObjects(bool releases)
{
    m_releasesDeleted = releases;
    if (!releases || m_release)
        return;
    m_release = new QTimer(this);
    m_release->setSingleShot(true);
    connect(m_release, &QTimer::timeout, this, &ObjectContext::releaseDeletedObjects);
    // Both announcements, of this context's changes and of merged ones, come this way.
    connect(this, &ObjectContext::objectsDidChange, this, [this](const ObjectsDidChange &change) {
        if (!change.deleted.isEmpty())
            scheduleRelease();
    });
    if (UndoStack *undo = undoStack())
        connect(undo, &UndoStack::forgotten, this, &ObjectContext::scheduleRelease);
}

qsizetype ObjectContext::heldObjectCount() const
{
    return qsizetype(d->objects.size());
}

void ObjectContext::scheduleRelease()
{
    if (m_releasesDeleted && !m_release->isActive())
        m_release->start(0);
}

void ObjectContext::releaseDeletedObjects()
{
    // Whoever waits in a nested event loop (a question during an import) may hold records that
    // were live when it began, as may an open undo group or an announcement still to come.
    const UndoStack *undo = undoStack();
    if (QThread::currentThread()->loopLevel() > 1 || !d->notified.isEmpty() ||
        (undo && undo->groupingLevel() > 0)) {
        m_release->start(std::chrono::seconds(1));
        return;
    }
    if (std::none_of(d->objects.cbegin(), d->objects.cend(),
                     [](const auto &object) { return object->isDeleted(); }))
        return;
    m_undo->dropGroupsWithNothingLeft();
    // Still needed: by undo, by the next save (a deletion not yet written), by the store's
    // index (a row that is still there).
    QSet<const ManagedObject *> kept = m_undo->referencedObjects();
    kept.unite({d->deleted.cbegin(), d->deleted.cend()});
    QSet<const ManagedObject *> released;
    for (const auto &object : d->objects) {
        ManagedObject *candidate = object.get();
        if (candidate->isDeleted() && !kept.contains(candidate) &&
            d->object(candidate->entity(), candidate->objectId()) != candidate &&
            !d->committed.contains(candidate))
            released.insert(candidate);
    }
    if (released.isEmpty())
        return;
    const auto gone = [&](const ManagedObject *object) { return released.contains(object); };
    d->profiles.removeIf(gone);
    d->forwardings.removeIf(gone);
    d->tags.removeIf(gone);
    std::erase_if(d->objects, [&](const auto &object) { return gone(object.get()); });
}

void ObjectContext::finishSave(const QList<ObjectChange> &changes, qint64 token)
{
    for (ManagedObject *object : std::as_const(d->deleted)) {
        d->ids(object->entity()).remove(object->objectId());
        RecordAccess::setObjectId(object, 0);
    }
    d->inserted.clear();
    d->deleted.clear();
    d->committed.clear();
    noteMergedHistory(token);
    scheduleRelease();
    if (!changes.isEmpty())
        Q_EMIT didSave(changes);
}

Status ObjectContext::mergeCommitted()
{
    if (!m_loaded)
        return std::nullopt;
    const Result<qint64> token = m_merge->mergeCommitted(m_historyToken);
    if (!token)
        return token.error();
    noteMergedHistory(*token);
    return std::nullopt;
}

Status ObjectContext::mergeChanges(const QList<ObjectChange> &changes)
{
    if (!m_loaded)
        return std::nullopt;
    return m_merge->merge(changes);
}
