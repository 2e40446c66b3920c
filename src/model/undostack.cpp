#include "undostack.h"

#include <cassert>

UndoStack::UndoStack(QObject *parent) : QObject(parent) {}

void UndoStack::beginUndoGrouping()
{
    if (m_groupingLevel++ == 0 && !m_undoing && !m_redoing)
        m_open = Group{};
}

void UndoStack::endUndoGrouping()
{
    assert(m_groupingLevel > 0);
    if (--m_groupingLevel > 0 || m_undoing || m_redoing)
        return;
    if (m_open && !m_open->steps.isEmpty()) {
        m_undo.append(std::move(*m_open));
        forgetRedo();
    }
    m_open.reset();
    Q_EMIT changed();
}

void UndoStack::setActionName(const QString &name)
{
    if (m_open)
        m_open->name = name;
    else if (!m_undo.isEmpty())
        m_undo.last().name = name;
    Q_EMIT changed();
}

QString UndoStack::undoActionName() const
{
    return m_undo.isEmpty() ? QString() : m_undo.last().name;
}

QString UndoStack::redoActionName() const
{
    return m_redo.isEmpty() ? QString() : m_redo.last().name;
}

void UndoStack::removeAllActions()
{
    const bool any = !m_undo.isEmpty() || !m_redo.isEmpty();
    m_undo.clear();
    m_redo.clear();
    Q_EMIT changed();
    if (any)
        Q_EMIT forgotten();
}

void UndoStack::forgetRedo()
{
    if (m_redo.isEmpty())
        return;
    m_redo.clear();
    Q_EMIT forgotten();
}

void UndoStack::record(std::shared_ptr<UndoStep> step)
{
    if (m_open) {
        m_open->steps.append(std::move(step));
        return;
    }
    m_undo.append(Group{{}, {std::move(step)}});
    forgetRedo();
    Q_EMIT changed();
}

std::optional<UndoStack::Group> UndoStack::takeUndoGroup()
{
    if (m_undo.isEmpty())
        return std::nullopt;
    return m_undo.takeLast();
}

std::optional<UndoStack::Group> UndoStack::takeRedoGroup()
{
    if (m_redo.isEmpty())
        return std::nullopt;
    return m_redo.takeLast();
}

void UndoStack::beginReplay(bool undoing, const QString &name)
{
    assert(!m_open && m_groupingLevel == 0);
    (undoing ? m_undoing : m_redoing) = true;
    m_open = Group{name, {}};
}

void UndoStack::endReplay()
{
    // What undoing recorded is the redo of it, and the other way round.
    const bool replayed = m_open && !m_open->steps.isEmpty();
    if (replayed)
        (m_undoing ? m_redo : m_undo).append(std::move(*m_open));
    m_open.reset();
    m_undoing = m_redoing = false;
    Q_EMIT changed();
    // A replay that changed nothing leaves no step behind: the one it took is gone.
    if (!replayed)
        Q_EMIT forgotten();
}
