#pragma once

#include "objectchange.h"

#include <QList>
#include <QMultiHash>
#include <QUuid>

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
    // The records of one context by uuid and tag name, made once per pass.
    struct Index;
    void deduplicateProfile(qint64 objectId, ObjectContext &context, const Index &index) const;
    void deduplicateTag(qint64 objectId, ObjectContext &context, const Index &index) const;
};
