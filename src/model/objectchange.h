#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

enum class Entity
{
    profile,
    forwarding,
    tag
};

QString entityName(Entity entity);
std::optional<Entity> entityFromName(const QString &name);

enum class ChangeType
{
    insert = 0,
    update = 1,
    remove = 2
};

// One record's change within a store transaction, as the history keeps it.
struct ObjectChange
{
    Entity entity = Entity::profile;
    qint64 objectId = 0;
    std::optional<QUuid> uuid;
    ChangeType type = ChangeType::insert;
    QStringList attributes;

    friend bool operator==(const ObjectChange &, const ObjectChange &) = default;
};

// One saved transaction: its token (a number that only grows), who wrote it, and its changes.
struct HistoryTransaction
{
    qint64 token = 0;
    QString author;
    qint64 timestampMs = 0;
    QList<ObjectChange> changes;
};
