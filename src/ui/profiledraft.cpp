#include "profiledraft.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "tag.h"
#include "undostack.h"

#include <QScopeGuard>
#include <QTimer>

namespace {

template<class T>
T *withUuid(const QList<T *> &objects, const std::optional<QUuid> &uuid)
{
    if (!uuid)
        return nullptr;
    for (T *object : objects) {
        if (object->uuid() == uuid)
            return object;
    }
    return nullptr;
}

Result<std::unique_ptr<ObjectContext>> scratchContext(PersistenceController &store)
{
    // Steps of the main context that are still open become visible to nobody else; closing
    // them first keeps the order of edits that a reader of the store sees.
    store.mainContext()->processPendingChanges();
    return store.newContext();
}

Error profileNotFound()
{
    return Error(localized("The profile no longer exists."));
}

// Every attribute but the uuid, which names the record in both contexts.
template<class Data>
void copyAllButUuid(Data &target, const Data &source)
{
    constexpr AttributeMask uuidBit = 1;
    copyAttributes(target, source, (relationshipBit<Data> - 1) & ~uuidBit);
}

Tag *counterpart(Tag *draftTag, ObjectContext &main)
{
    if (draftTag->objectId() != 0) {
        auto *tag = static_cast<Tag *>(main.object(Entity::tag, draftTag->objectId()));
        if (tag && !tag->isDeleted())
            return tag;
    }
    if (Tag *tag = withUuid(main.tags(), draftTag->uuid()))
        return tag;
    // A tag made in the editor whose name another writer has taken meanwhile is that one.
    if (draftTag->name()) {
        if (Tag *tag = tagNamed(*draftTag->name(), main))
            return tag;
    }
    return main.insertTag(draftTag->data());
}

void writeForwardings(const Profile &draft, Profile &target, ObjectContext &main)
{
    QList<Forwarding *> stale = target.forwardings();
    for (const Forwarding *source : draft.forwardings()) {
        Forwarding *forwarding = withUuid(main.forwardings(), source->uuid());
        if (forwarding) {
            stale.removeOne(forwarding);
            forwarding->edit([source](ForwardingData &d) { copyAllButUuid(d, source->data()); });
        } else {
            forwarding = main.insertForwarding(source->data());
        }
        forwarding->setProfile(&target);
    }
    for (Forwarding *forwarding : std::as_const(stale))
        main.deleteObject(forwarding);
}

} // namespace

Result<std::unique_ptr<ProfileDraft>> ProfileDraft::forNewProfile(PersistenceController &store,
                                                                  const std::optional<QUuid> &tag)
{
    auto scratch = scratchContext(store);
    if (!scratch)
        return scratch.error();
    Profile *profile = (*scratch)->insertProfile();
    if (Tag *preselected = withUuid((*scratch)->tags(), tag))
        profile->addTag(preselected);
    (*scratch)->processPendingChanges();
    return std::make_unique<ProfileDraft>(store, std::move(scratch).value(), profile,
                                          ProfileEditingMode::create);
}

Result<std::unique_ptr<ProfileDraft>> ProfileDraft::forProfile(PersistenceController &store,
                                                               const QUuid &uuid)
{
    auto scratch = scratchContext(store);
    if (!scratch)
        return scratch.error();
    Profile *profile = withUuid((*scratch)->profiles(), uuid);
    if (!profile)
        return profileNotFound();
    return std::make_unique<ProfileDraft>(store, std::move(scratch).value(), profile,
                                          ProfileEditingMode::edit);
}

Result<std::unique_ptr<ProfileDraft>> ProfileDraft::forCopyOf(PersistenceController &store,
                                                              const QUuid &source)
{
    auto scratch = scratchContext(store);
    if (!scratch)
        return scratch.error();
    Profile *original = withUuid((*scratch)->profiles(), source);
    if (!original)
        return profileNotFound();
    Profile *copy = duplicateProfile(original, **scratch);
    (*scratch)->processPendingChanges();
    return std::make_unique<ProfileDraft>(store, std::move(scratch).value(), copy,
                                          ProfileEditingMode::duplicate);
}

ProfileDraft::ProfileDraft(PersistenceController &store, std::unique_ptr<ObjectContext> scratch,
                           Profile *profile, ProfileEditingMode mode)
    : m_store(store), m_scratch(std::move(scratch)), m_profile(profile), m_mode(mode),
      m_trashedAtStart(profile->isInTrash())
{
    if (mode == ProfileEditingMode::edit)
        m_savedName = profile->name();
    ObjectContext *main = store.mainContext();
    connect(main, &ObjectContext::objectsDidChange, this, &ProfileDraft::scheduleCatchUp);
    connect(main, &ObjectContext::didSave, this, &ProfileDraft::scheduleCatchUp);
    remember();
}

ProfileDraft::~ProfileDraft() = default;

QUuid ProfileDraft::uuid() const
{
    return m_profile->uuid().value_or(QUuid());
}

void ProfileDraft::scheduleCatchUp()
{
    if (m_saving || std::exchange(m_catchUpScheduled, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_catchUpScheduled = false;
        catchUp();
    });
}

void ProfileDraft::remember()
{
    m_remembered.data = m_profile->data();
    m_remembered.forwardings.clear();
    for (const Forwarding *forwarding : m_profile->sortedForwardings())
        m_remembered.forwardings.append(forwarding->data());
    m_remembered.tags = m_profile->tags();
}

void ProfileDraft::catchUp()
{
    m_scratch->processPendingChanges();
    remember();
    const Remembered before = m_remembered;
    if (auto error = m_scratch->mergeCommitted()) {
        qWarning("profile editor: %s", qPrintable(error->message));
        return;
    }
    const bool gone = m_profile->isDeleted();
    if (gone)
        recreate();
    remember();
    const bool changed = before.data != m_remembered.data ||
                         before.forwardings != m_remembered.forwardings ||
                         before.tags != m_remembered.tags;
    const bool trashed = !gone && !m_trashedAtStart && m_profile->isInTrash();
    Q_EMIT refreshed(changed && !gone && !trashed);
    if (gone)
        Q_EMIT profileGone();
    if (trashed)
        Q_EMIT profileTrashed();
}

void ProfileDraft::recreate()
{
    // What the user sees in the editor is kept, as a new profile with new identities.
    ProfileData data = m_remembered.data;
    data.uuid = QUuid::createUuid();
    // Made anew as a live profile, wherever the old one had been put before it went.
    if (!m_trashedAtStart)
        data.deletedOn.reset();
    m_profile = m_scratch->insertProfile(data);
    for (ForwardingData forwarding : std::as_const(m_remembered.forwardings)) {
        forwarding.uuid = QUuid::createUuid();
        m_scratch->insertForwarding(forwarding)->setProfile(m_profile);
    }
    QList<Tag *> tags;
    for (Tag *tag : std::as_const(m_remembered.tags)) {
        if (!tag->isDeleted())
            tags.append(tag);
    }
    m_profile->setTags(tags);
    m_scratch->processPendingChanges();
    m_mode = ProfileEditingMode::create;
    m_savedName.reset();
}

Status ProfileDraft::save()
{
    catchUp();
    // Whoever saves an edited profile means to keep it, wherever else it was put meanwhile.
    if (!m_trashedAtStart && m_profile->isInTrash()) {
        m_profile->setDeletedOn(std::nullopt);
        // Back among the live profiles, its name must be free again.
        m_savedName.reset();
    }
    if (auto error = ProfileValidationForm::validateForSave(*m_profile, *m_scratch, m_savedName))
        return error;
    ObjectContext &main = *m_store.mainContext();
    m_saving = true;
    auto done = qScopeGuard([this] { m_saving = false; });
    main.processPendingChanges();
    UndoStack *undo = main.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    Profile *target = writeInto(main);
    main.processPendingChanges();
    if (undo) {
        undo->setActionName(editorTitle(m_mode));
        undo->endUndoGrouping();
    }
    // Checked again as the store is when the write starts: another writer may have taken the
    // name since.
    const std::optional<QString> savedName = m_savedName;
    Status error = main.saveIfChanged([&main, target, savedName] {
        return ProfileValidationForm::validateForSave(*target, main, savedName);
    });
    if (error && undo)
        main.undo();
    return error;
}

Profile *ProfileDraft::writeInto(ObjectContext &main) const
{
    Profile *target =
        m_mode == ProfileEditingMode::edit ? withUuid(main.profiles(), m_profile->uuid()) : nullptr;
    if (target)
        target->edit([this](ProfileData &d) { copyAllButUuid(d, m_profile->data()); });
    else
        target = main.insertProfile(m_profile->data());
    writeForwardings(*m_profile, *target, main);
    QList<Tag *> tags;
    for (Tag *tag : m_profile->tags())
        tags.append(counterpart(tag, main));
    target->setTags(tags);
    return target;
}
