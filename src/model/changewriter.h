#pragma once

#include "objectchange.h"
#include "objectsnapshot.h"
#include "result.h"

#include <QList>

class ManagedObject;
class StoreConnection;
struct ContextState;

// Writes a context's unsaved work into the open transaction of its connection: new rows first,
// in an order where every reference finds its row, then updates, then deletions. It tells what
// it wrote as the history's changes.
class ChangeWriter
{
public:
    ChangeWriter(StoreConnection &store, ContextState &state) : m_store(store), m_state(state) {}

    Status write();
    const QList<ObjectChange> &changes() const { return m_changes; }
    // New objects forget the row ids that the write gave them: the transaction did not stand.
    void takeBackRowIds();

private:
    Status insertRows(Entity entity);
    Result<qint64> insertRow(ManagedObject *object);
    Status writeRelationship(ManagedObject *object);
    Status updateRows();
    Status updateRow(ManagedObject *object, const Snapshot &current, AttributeMask mask);
    Status deleteRows(Entity entity);

    StoreConnection &m_store;
    ContextState &m_state;
    QList<ObjectChange> m_changes;
    QList<ManagedObject *> m_assigned;
};
