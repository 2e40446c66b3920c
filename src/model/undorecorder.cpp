#include "undorecorder.h"

#include "contextstate.h"
#include "dictionarymerge.h"
#include "objectcontext.h"
#include "undostack.h"

#include <algorithm>
#include <utility>

namespace {

// The tags before the step, but for tags that another writer removed or added since.
QList<Tag *> restoredTags(const QList<Tag *> &current, const QList<Tag *> &before,
                          const QList<Tag *> &after)
{
    QList<Tag *> tags;
    for (Tag *tag : before) {
        if (current.contains(tag) || !after.contains(tag))
            tags.append(tag);
    }
    for (Tag *tag : current) {
        if (!before.contains(tag) && !after.contains(tag))
            tags.append(tag);
    }
    return tags;
}

void restore(Profile *profile, const ProfileSnapshot &state, const Snapshot *replaced,
             AttributeMask mask)
{
    // Of a dictionary, only the keys of the step go back, and of the tags only those that the
    // step added or removed: what was merged since stays.
    ProfileData restored = state.data;
    QList<Tag *> tags = state.tags;
    if (replaced) {
        const auto &after = std::get<ProfileSnapshot>(*replaced);
        mergeDictionaries(restored, state.data, after.data, profile->data(), mask);
        tags = restoredTags(profile->tags(), state.tags, after.tags);
    }
    copyAttributes(RecordAccess::data(profile), restored, mask);
    if (mask & relationshipBit<ProfileData>)
        RecordAccess::linkTags(profile, liveOnly(tags));
}

void restore(Forwarding *forwarding, const ForwardingSnapshot &state, AttributeMask mask)
{
    copyAttributes(RecordAccess::data(forwarding), state.data, mask);
    if (mask & relationshipBit<ForwardingData>) {
        Profile *profile = state.profile && !state.profile->isDeleted() ? state.profile : nullptr;
        RecordAccess::linkProfile(forwarding, profile);
    }
}

void restore(Tag *tag, const TagSnapshot &state, AttributeMask mask)
{
    copyAttributes(RecordAccess::data(tag), state.data, mask);
    if (mask & relationshipBit<TagData>)
        RecordAccess::linkParent(tag, state.parent && !state.parent->isDeleted() ? state.parent
                                                                                 : nullptr);
}

void addReferences(QSet<const ManagedObject *> &objects, const Snapshot &state)
{
    if (const auto *profile = std::get_if<ProfileSnapshot>(&state)) {
        for (const Tag *tag : profile->tags)
            objects.insert(tag);
    } else if (const auto *forwarding = std::get_if<ForwardingSnapshot>(&state)) {
        objects.insert(forwarding->profile);
    } else if (const auto *tag = std::get_if<TagSnapshot>(&state)) {
        objects.insert(tag->parent);
    }
}

} // namespace

UndoRecorder::UndoRecorder(ObjectContext &context, ContextState &state)
    : m_context(context), m_state(state)
{}

UndoRecorder::~UndoRecorder() = default;

void UndoRecorder::setEnabled(bool enabled)
{
    if (enabled && !m_stack)
        m_stack = std::make_unique<UndoStack>();
    else if (!enabled)
        m_stack.reset();
}

void UndoRecorder::willChange(ManagedObject *object)
{
    if (isRecording() && !m_step.contains(object))
        note(object, !object->isDeleted());
}

void UndoRecorder::didInsert(ManagedObject *object)
{
    if (isRecording())
        note(object, false);
}

void UndoRecorder::note(ManagedObject *object, bool existed)
{
    m_step.insert(object, {snapshotOf(object), existed});
    m_stepOrder.append(object);
}

void UndoRecorder::closeStep()
{
    if (m_stepOrder.isEmpty())
        return;
    auto step = std::make_shared<UndoStep>();
    for (ManagedObject *object : std::as_const(m_stepOrder)) {
        const Before &before = m_step.value(object);
        UndoStep::Entry entry{object, before.state, snapshotOf(object), before.existed,
                              !object->isDeleted()};
        const bool unchanged =
            entry.existedBefore == entry.existsAfter && differences(entry.before, entry.after) == 0;
        if (!unchanged && (entry.existedBefore || entry.existsAfter))
            step->entries.append(std::move(entry));
    }
    m_step.clear();
    m_stepOrder.clear();
    if (!step->entries.isEmpty() && m_stack)
        m_stack->record(std::move(step));
}

QSet<const ManagedObject *> UndoRecorder::referencedObjects() const
{
    QSet<const ManagedObject *> objects;
    for (auto it = m_step.cbegin(); it != m_step.cend(); ++it) {
        objects.insert(it.key());
        addReferences(objects, it->state);
    }
    if (!m_stack)
        return objects;
    QList<const UndoStack::Group *> groups;
    for (const auto *list : {&m_stack->m_undo, &m_stack->m_redo}) {
        for (const UndoStack::Group &group : *list)
            groups.append(&group);
    }
    if (m_stack->m_open)
        groups.append(&*m_stack->m_open);
    for (const UndoStack::Group *group : std::as_const(groups)) {
        for (const auto &step : group->steps) {
            for (const UndoStep::Entry &entry : step->entries) {
                objects.insert(entry.object);
                addReferences(objects, entry.before);
                addReferences(objects, entry.after);
            }
        }
    }
    objects.remove(nullptr);
    return objects;
}

void UndoRecorder::dropGroupsWithNothingLeft()
{
    if (!m_stack)
        return;
    const auto nothingLeft = [](const UndoStack::Group &group) {
        return std::all_of(group.steps.cbegin(), group.steps.cend(), [](const auto &step) {
            return std::all_of(step->entries.cbegin(), step->entries.cend(), [](const auto &entry) {
                return RecordAccess::isRemovedByMerge(entry.object);
            });
        });
    };
    const qsizetype dropped =
        m_stack->m_undo.removeIf(nothingLeft) + m_stack->m_redo.removeIf(nothingLeft);
    if (dropped > 0)
        Q_EMIT m_stack->changed();
}

void UndoRecorder::replay(bool undoing)
{
    if (!m_stack)
        return;
    m_context.processPendingChanges();
    auto group = undoing ? m_stack->takeUndoGroup() : m_stack->takeRedoGroup();
    if (!group)
        return;
    m_stack->beginReplay(undoing, group->name);

    // A group holds what its steps changed; replaying it puts back the state before them.
    QList<UndoStep::Entry> entries;
    for (const auto &step : std::as_const(group->steps))
        entries += step->entries;
    std::reverse(entries.begin(), entries.end());
    // Objects come back first, so that restored relationships find them; objects that the
    // steps made go last, after their relationships were undone.
    reviveObjects(entries);
    restoreStates(entries);
    removeMadeObjects(entries);

    m_context.processPendingChanges();
    m_stack->endReplay();
}

void UndoRecorder::reviveObjects(const QList<UndoStep::Entry> &entries)
{
    // Forwardings last, and only into a profile that is there: one whose profile another
    // writer deleted would come back belonging to nothing.
    for (const bool forwardings : {false, true}) {
        for (const UndoStep::Entry &entry : entries) {
            ManagedObject *object = entry.object;
            if ((object->entity() == Entity::forwarding) != forwardings || !entry.existedBefore ||
                !object->isDeleted() || RecordAccess::isRemovedByMerge(object))
                continue;
            if (const auto *before = std::get_if<ForwardingSnapshot>(&entry.before);
                before && (!before->profile || before->profile->isDeleted()))
                continue;
            m_context.willChange(object);
            RecordAccess::setDeleted(object, false);
            if (!m_state.deleted.removeOne(object))
                m_state.inserted.append(object);
            m_state.notify(m_state.notifyInserted, object);
        }
    }
}

void UndoRecorder::restoreStates(const QList<UndoStep::Entry> &entries)
{
    for (const UndoStep::Entry &entry : entries) {
        ManagedObject *object = entry.object;
        if (!entry.existedBefore || object->isDeleted())
            continue;
        const AttributeMask mask = entry.existsAfter ? differences(entry.before, entry.after)
                                                     : everything(object->entity());
        m_context.willChange(object);
        if (auto *p = std::get_if<ProfileSnapshot>(&entry.before))
            restore(static_cast<Profile *>(object), *p, entry.existsAfter ? &entry.after : nullptr,
                    mask);
        else if (auto *f = std::get_if<ForwardingSnapshot>(&entry.before))
            restore(static_cast<Forwarding *>(object), *f, mask);
        else
            restore(static_cast<Tag *>(object), std::get<TagSnapshot>(entry.before), mask);
        m_context.didChange(object);
    }
}

void UndoRecorder::removeMadeObjects(const QList<UndoStep::Entry> &entries)
{
    for (const UndoStep::Entry &entry : entries) {
        if (!entry.existedBefore && !RecordAccess::isRemovedByMerge(entry.object))
            m_context.deleteObject(entry.object);
    }
}

UndoRecorder::Pause::Pause(UndoRecorder &recorder)
    : m_recorder(recorder), m_wasPaused(std::exchange(recorder.m_paused, true))
{}

UndoRecorder::Pause::~Pause()
{
    m_recorder.m_paused = m_wasPaused;
}
