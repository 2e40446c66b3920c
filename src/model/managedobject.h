#pragma once

#include "objectchange.h"

class ObjectContext;

// Only a context makes records (through RecordAccess); the key proves it.
class RecordKey
{
    friend class RecordAccess;
    RecordKey() = default;
};

// A record that lives in an object context. The context owns it, keeps one object per stored
// row, and sees every change to it, so that saves, undo and merges know what changed.
class ManagedObject
{
public:
    virtual ~ManagedObject() = default;
    ManagedObject(const ManagedObject &) = delete;
    ManagedObject &operator=(const ManagedObject &) = delete;

    Entity entity() const { return m_entity; }
    ObjectContext *context() const { return m_context; }
    // The row id in the store; 0 until the object is first saved.
    qint64 objectId() const { return m_objectId; }
    bool isDeleted() const { return m_deleted; }

protected:
    ManagedObject(RecordKey, ObjectContext *context, Entity entity)
        : m_context(context), m_entity(entity)
    {}

private:
    friend class RecordAccess;

    ObjectContext *m_context;
    Entity m_entity;
    qint64 m_objectId = 0;
    bool m_deleted = false;
    // Removed by a merge of an outside deletion: undo never brings such an object back.
    bool m_removedByMerge = false;
};
