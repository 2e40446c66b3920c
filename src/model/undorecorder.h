#pragma once

#include "objectsnapshot.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <memory>

class ManagedObject;
class ObjectContext;
class UndoStack;
struct ContextState;

// What one step changed: each object's state before and after it.
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

// Records a context's edits as undoable steps and replays them. Each step holds the state that
// every object it touched had before and after it; the stack keeps the steps in their named
// groups. Without a stack nothing is recorded.
class UndoRecorder
{
public:
    UndoRecorder(ObjectContext &context, ContextState &state);
    ~UndoRecorder();

    void setEnabled(bool enabled);
    UndoStack *stack() const { return m_stack.get(); }

    // Notes the state of an object that the open step is about to change, the first time it
    // does; an object inserted in the step did not exist before it.
    void willChange(ManagedObject *object);
    void didInsert(ManagedObject *object);
    // Ends the open step and hands what it changed to the stack.
    void closeStep();
    // Puts back the state before the last group of steps (or after, for redo); what that
    // changes is recorded in turn as the group that reverses it.
    void replay(bool undoing);
    // Every object that a recorded or open step names, itself or in a relationship of a state it
    // holds: undo and redo may bring these back, so they must outlive their deletion.
    QSet<const ManagedObject *> referencedObjects() const;
    // Drops the undo and redo groups of which every record was removed by another writer:
    // replaying them would change nothing, and they would keep those records for ever.
    void dropGroupsWithNothingLeft();

    // Keeps the edits made while it lives out of the steps (merges, clean-ups, de-duplication).
    class Pause
    {
    public:
        explicit Pause(UndoRecorder &recorder);
        ~Pause();
        Pause(const Pause &) = delete;
        Pause &operator=(const Pause &) = delete;

    private:
        UndoRecorder &m_recorder;
        bool m_wasPaused;
    };

private:
    struct Before
    {
        Snapshot state;
        bool existed;
    };

    bool isRecording() const { return m_stack && !m_paused; }
    void note(ManagedObject *object, bool existed);
    void reviveObjects(const QList<UndoStep::Entry> &entries);
    void restoreStates(const QList<UndoStep::Entry> &entries);
    void removeMadeObjects(const QList<UndoStep::Entry> &entries);

    ObjectContext &m_context;
    ContextState &m_state;
    std::unique_ptr<UndoStack> m_stack;
    bool m_paused = false;
    // The open step: each object's state when the step first touched it, in that order.
    QHash<ManagedObject *, Before> m_step;
    QList<ManagedObject *> m_stepOrder;
};
