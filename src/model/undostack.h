#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct UndoStep;

// Undo and redo of a context's edits, in named groups. The UndoRecorder records and replays the
// steps; this class only keeps them in order with their names and the grouping level.
class UndoStack : public QObject
{
    Q_OBJECT

public:
    explicit UndoStack(QObject *parent = nullptr);

    void beginUndoGrouping();
    void endUndoGrouping();
    int groupingLevel() const { return m_groupingLevel; }
    void setActionName(const QString &name);

    bool canUndo() const { return !m_undo.isEmpty(); }
    bool canRedo() const { return !m_redo.isEmpty(); }
    QString undoActionName() const;
    QString redoActionName() const;
    void removeAllActions();

private:
    friend class UndoRecorder;
    struct Group
    {
        QString name;
        QList<std::shared_ptr<UndoStep>> steps;
    };

    // Adds one recorded step to the open group, or as a group of its own.
    void record(std::shared_ptr<UndoStep> step);
    std::optional<Group> takeUndoGroup();
    std::optional<Group> takeRedoGroup();
    void forgetRedo();
    void beginReplay(bool undoing, const QString &name);
    void endReplay();

    QList<Group> m_undo;
    QList<Group> m_redo;
    std::optional<Group> m_open;
    int m_groupingLevel = 0;
    bool m_undoing = false;
    bool m_redoing = false;

Q_SIGNALS:
    void changed();
    // Steps went for good: records that only they named can go too.
    void forgotten();
};
