#pragma once

#include "managedobject.h"
#include "records.h"

#include <QList>

#include <functional>

class Profile;

class Tag final : public ManagedObject
{
public:
    Tag(RecordKey key, ObjectContext *context) : ManagedObject(key, context, Entity::tag) {}

    const TagData &data() const { return m_data; }
    const std::optional<QUuid> &uuid() const { return m_data.uuid; }
    const std::optional<QString> &name() const { return m_data.name; }
    const QList<Profile *> &profiles() const { return m_profiles; }
    Tag *parent() const { return m_parent; }
    const QList<Tag *> &children() const { return m_children; }

    void edit(const std::function<void(TagData &)> &change);
    void setName(const std::optional<QString> &name);
    void setParent(Tag *parent);

private:
    friend class RecordAccess;

    TagData m_data;
    QList<Profile *> m_profiles;
    Tag *m_parent = nullptr;
    QList<Tag *> m_children;
};
