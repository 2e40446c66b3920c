#include "transactiondeduplicator.h"

#include "objectcontext.h"
#include "profile.h"
#include "tag.h"
#include "uuidtext.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcDeduplicator, "io.vellssh.store.deduplicator")

namespace {

// Ascending uuid; records of one uuid keep the order in which the store made them.
template<class T>
void sortByUuid(QList<T *> &records)
{
    std::stable_sort(records.begin(), records.end(), [](const T *a, const T *b) {
        const QString ua = uuidText(a->uuid());
        const QString ub = uuidText(b->uuid());
        if (ua != ub)
            return ua < ub;
        return a->objectId() < b->objectId();
    });
}

template<class T, class Key>
QList<T *> liveValues(const QMultiHash<Key, T *> &index, const Key &key)
{
    QList<T *> values = index.values(key);
    values.removeIf([](const T *record) { return record->isDeleted(); });
    return values;
}

} // namespace

struct VellTransactionDeduplicator::Index
{
    explicit Index(const ObjectContext &context)
    {
        for (Profile *profile : context.profiles()) {
            if (profile->uuid())
                profiles.insert(*profile->uuid(), profile);
        }
        for (Tag *tag : context.tags()) {
            if (tag->uuid())
                tagsByUuid.insert(*tag->uuid(), tag);
            if (tag->name())
                tagsByName.insert(*tag->name(), tag);
        }
    }

    QMultiHash<QUuid, Profile *> profiles;
    QMultiHash<QUuid, Tag *> tagsByUuid;
    QMultiHash<QString, Tag *> tagsByName;
};

void VellTransactionDeduplicator::deduplicate(const QList<HistoryTransaction> &transactions,
                                              const QList<ObjectContext *> &contexts) const
{
    QList<qint64> profileIds;
    QList<qint64> tagIds;
    for (const HistoryTransaction &transaction : transactions) {
        for (const ObjectChange &change : transaction.changes) {
            if (change.type != ChangeType::insert)
                continue;
            if (change.entity == Entity::profile)
                profileIds.append(change.objectId);
            else if (change.entity == Entity::tag)
                tagIds.append(change.objectId);
        }
    }
    if (profileIds.isEmpty() && tagIds.isEmpty())
        return;
    for (ObjectContext *context : contexts) {
        const Index index(*context);
        context->performWithoutUndo([&] {
            for (qint64 id : std::as_const(profileIds))
                deduplicateProfile(id, *context, index);
            for (qint64 id : std::as_const(tagIds))
                deduplicateTag(id, *context, index);
        });
        if (auto error = context->saveIfChanged()) {
            qCWarning(lcDeduplicator).noquote()
                << QStringLiteral("Failed to save Core Data context for deduplicate: %1")
                       .arg(error->message);
        }
    }
}

void VellTransactionDeduplicator::deduplicateProfile(qint64 objectId, ObjectContext &context,
                                                     const Index &index) const
{
    Profile *profile = context.profileWithId(objectId);
    if (!profile || profile->isDeleted() || !profile->uuid()) {
        // One line per profile of a large deletion: a trace, not news.
        qCDebug(lcDeduplicator).noquote()
            << QStringLiteral("Ignore a profile that was deleted: %1").arg(objectId);
        return;
    }
    QList<Profile *> same = liveValues(index.profiles, *profile->uuid());
    if (same.size() < 2)
        return;
    qCDebug(lcDeduplicator).noquote()
        << QStringLiteral("Deduplicating profile with name: %1, count: %2")
               .arg(profile->name().value_or(uuidText(profile->uuid())))
               .arg(same.size());
    sortByUuid(same);
    Profile *kept = same.takeFirst();
    for (Profile *duplicate : std::as_const(same)) {
        for (Tag *tag : duplicate->tags())
            kept->addTag(tag);
        context.deleteObject(duplicate);
    }
}

void VellTransactionDeduplicator::deduplicateTag(qint64 objectId, ObjectContext &context,
                                                 const Index &index) const
{
    auto *tag = static_cast<Tag *>(context.object(Entity::tag, objectId));
    if (!tag || tag->isDeleted() || !tag->uuid() || !tag->name()) {
        qCInfo(lcDeduplicator).noquote()
            << QStringLiteral("Ignore a tag that was deleted: %1").arg(objectId);
        return;
    }
    QList<Tag *> same = liveValues(index.tagsByUuid, *tag->uuid());
    for (Tag *named : liveValues(index.tagsByName, *tag->name())) {
        if (!same.contains(named))
            same.append(named);
    }
    if (same.size() < 2)
        return;
    qCDebug(lcDeduplicator).noquote()
        << QStringLiteral("Deduplicating tag with name: %1, count: %2")
               .arg(*tag->name())
               .arg(same.size());
    sortByUuid(same);
    Tag *kept = same.takeFirst();
    for (Tag *duplicate : std::as_const(same)) {
        for (Profile *profile : QList<Profile *>(duplicate->profiles()))
            profile->addTag(kept);
        context.deleteObject(duplicate);
    }
}
