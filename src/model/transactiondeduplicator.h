#pragma once

#include "objectchange.h"

#include <QList>

class ObjectContext;

// Removes the duplicates that merged outside inserts create: profiles that share a uuid become
// the first of them (by uuid, then by age) with the union of their tags; tags that share a uuid
// or a name become the first of them with the union of their profiles.
class VellTransactionDeduplicator
{
public:
    void deduplicate(const QList<HistoryTransaction> &transactions,
                     const QList<ObjectContext *> &contexts) const;

private:
    void deduplicateProfile(qint64 objectId, ObjectContext &context) const;
    void deduplicateTag(qint64 objectId, ObjectContext &context) const;
};
