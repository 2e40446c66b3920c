#include "syncmirror.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "privatefiles.h"
#include "profile.h"
#include "profileimporter.h"
#include "profilejson.h"
#include "queries.h"
#include "regularfiles.h"
#include "tag.h"
#include "uuidtext.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace {

const QString profileEntity = u"profile"_s;
const QString tagEntity = u"tag"_s;
constexpr int lockWaitMs = 30000;
// A record stamped further ahead than this is not believed: its stamp would drag this
// device's clock, and every later stamp of this device, along with it.
constexpr qint64 maxAheadMs = 2 * 24 * 60 * 60 * 1000;
// The clock follows what it reads only this far ahead of the wall clock. Half the limit above,
// so that the stamps of a device that followed a record that far still reach every device whose
// clock is less than a day behind its own.
constexpr qint64 maxFollowedMs = maxAheadMs / 2;
// Far above the state of the largest libraries (about 2 MB for 10,000 profiles).
constexpr qint64 maxStateBytes = 256 * 1024 * 1024;

template<class T>
constexpr bool isOptional = false;
template<class T>
constexpr bool isOptional<std::optional<T>> = true;

template<class Data>
void writeAttributes(QDataStream &out, const Data &data)
{
    forEachMember<Data>([&](int, auto member) {
        const auto &field = data.*member.pointer;
        if constexpr (isOptional<std::decay_t<decltype(field)>>) {
            out << field.has_value();
            if (field)
                out << *field;
        } else {
            out << field;
        }
    });
}

// What a record's journal line would hold, hashed from the record itself: a pass compares
// every record of the library, and building their JSON only to hash it took most of its time.
QByteArray digestOf(const Profile &profile)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writeAttributes(out, profile.data());
    const QList<const Forwarding *> forwardings = forwardingsInOrder(profile);
    out << qint32(forwardings.size());
    for (const Forwarding *forwarding : forwardings)
        writeAttributes(out, forwarding->data());
    for (const Tag *tag : tagsInOrder(profile))
        writeAttributes(out, tag->data());
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

QByteArray digestOf(const Tag &tag)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writeAttributes(out, tag.data());
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

// A record this device shares: a valid profile (trashed ones too) or a tag.
struct SharedRecord
{
    QString entity;
    const Profile *profile = nullptr;
    const Tag *tag = nullptr;

    QByteArray digest() const { return profile ? digestOf(*profile) : digestOf(*tag); }
    QJsonObject snapshot() const { return profile ? profileJSON(*profile) : tagJSON(*tag); }
};

QHash<QUuid, SharedRecord> sharedRecords(const ObjectContext &context)
{
    QHash<QUuid, SharedRecord> all;
    for (const Profile *profile : validProfiles(context, false))
        all.insert(*profile->uuid(), {profileEntity, profile, nullptr});
    for (const Tag *tag : context.tags()) {
        if (tag->data().uuid)
            all.insert(*tag->data().uuid, {tagEntity, nullptr, tag});
    }
    return all;
}

} // namespace

SyncMirror::SyncMirror(QString folder, QString statePath, QString device)
    : m_folder(std::move(folder)), m_statePath(std::move(statePath)), m_device(device),
      m_clock(device)
{}

QString SyncMirror::newDeviceId()
{
    return QUuid::createUuid().toString(QUuid::Id128).left(16).toUpper();
}

Status SyncMirror::readState()
{
    m_positions.clear();
    m_records.clear();
    m_lastProblems.clear();
    m_lastPass.reset();
    m_stateFolder.clear();
    const QFileInfo info(m_statePath);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    // Starting afresh loses nothing: every record here is journaled again as of now, and the
    // other devices' journals are read again from their start.
    const Result<QByteArray> bytes = readRegularFile(m_statePath, maxStateBytes, Links::refuse);
    if (!bytes)
        return Error(localized("The sync state “%1” could not be read (%2); sync starts afresh.")
                         .arg(m_statePath, bytes.error().message));
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject())
        return Error(localized("The sync state “%1” could not be read; sync starts afresh.")
                         .arg(m_statePath));
    const QJsonObject state = document.object();
    m_stateFolder = state.value(u"folder"_s).toString();
    if (auto clock = HybridTimestamp::fromText(state.value(u"clock"_s).toString()))
        m_clock.observe(*clock);
    if (state.value(u"lastPass"_s).isDouble())
        m_lastPass = QDateTime::fromMSecsSinceEpoch(state.value(u"lastPass"_s).toInteger());
    for (const QJsonValue &problem : state.value(u"problems"_s).toArray())
        m_lastProblems.append(problem.toString());
    const QJsonObject positions = state.value(u"positions"_s).toObject();
    for (auto it = positions.begin(); it != positions.end(); ++it) {
        const QJsonArray at = it.value().toArray();
        m_positions.insert(it.key(), {at.at(0).toInt(1), at.at(1).toInteger()});
    }
    const QJsonObject records = state.value(u"records"_s).toObject();
    for (auto it = records.begin(); it != records.end(); ++it) {
        const QJsonArray r = it.value().toArray();
        const auto stamp = HybridTimestamp::fromText(r.at(0).toString());
        const std::optional<QUuid> uuid = uuidFromText(it.key());
        if (stamp && uuid)
            m_records.insert(*uuid, {*stamp, r.at(1).toString(), r.at(2).toBool(),
                                     QByteArray::fromHex(r.at(3).toString().toLatin1()),
                                     r.at(4).toString(stamp->device)});
    }
    return std::nullopt;
}

Status SyncMirror::saveState() const
{
    QJsonObject positions;
    for (auto it = m_positions.begin(); it != m_positions.end(); ++it)
        positions.insert(it.key(), QJsonArray{it->file, it->offset});
    QJsonObject records;
    for (auto it = m_records.begin(); it != m_records.end(); ++it)
        records.insert(uuidText(it.key()),
                       QJsonArray{it->stamp.text(), it->entity, it->deleted,
                                  QString::fromLatin1(it->digest.toHex()), it->origin});
    QJsonObject state{{u"device"_s, m_device},
                      {u"folder"_s, m_folder},
                      {u"clock"_s, m_clock.last().text()},
                      {u"positions"_s, positions},
                      {u"records"_s, records},
                      {u"problems"_s, QJsonArray::fromStringList(m_lastProblems)}};
    if (m_lastPass)
        state.insert(u"lastPass"_s, m_lastPass->toMSecsSinceEpoch());
    QDir().mkpath(QFileInfo(m_statePath).absolutePath());
    if (Status error = writePrivateFile(
            m_statePath, QJsonDocument(state).toJson(QJsonDocument::Compact), Links::refuse))
        return Error(localized("The sync state “%1” could not be written: %2")
                         .arg(m_statePath, error->message));
    return std::nullopt;
}

// With everything, each record goes out again, as first made, under the stamp it has: what
// changed since the last pass with a new one, and the rest as of its last change, so that a
// newer change on another device still wins over it.
QList<JournalRecord> SyncMirror::pendingChanges(const ObjectContext &context, qint64 now,
                                                bool everything)
{
    QList<JournalRecord> changes;
    const auto current = sharedRecords(context);
    for (auto it = current.begin(); it != current.end(); ++it) {
        const QByteArray digest = it->digest();
        const RecordState known = m_records.value(it.key());
        const bool unchanged = !known.deleted && known.digest == digest;
        if (unchanged && !everything)
            continue;
        const HybridTimestamp stamp = unchanged ? known.stamp : m_clock.now(now);
        const bool created = everything || known.entity.isEmpty();
        const QString origin = known.entity.isEmpty() ? m_device : known.origin;
        changes.append({stamp, it->entity, it.key(), false, it->snapshot(), origin, created});
        m_records.insert(it.key(), {stamp, it->entity, false, digest, origin});
    }
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        if (current.contains(it.key()) || (it->deleted && !everything))
            continue;
        const HybridTimestamp stamp = it->deleted ? it->stamp : m_clock.now(now);
        changes.append({stamp, it->entity, it.key(), true, {}, it->origin});
        *it = {stamp, it->entity, true, {}, it->origin};
    }
    return changes;
}

// The state belongs to the folder it names, and only while this device's journal is there: a
// folder chosen anew, or emptied behind sync's back, has nothing of this library yet.
bool SyncMirror::stateFitsFolder() const
{
    const QDir journal(DeviceJournal(m_folder, m_device).folder());
    return m_stateFolder == m_folder &&
           !journal.entryList({u"journal-*.jsonl"_s}, QDir::Files).isEmpty();
}

int SyncMirror::apply(const JournalRecord &record, ProfileImporter &importer, qint64 now)
{
    HybridTimestamp followed = record.stamp;
    if (followed.milliseconds - now > maxFollowedMs)
        followed = {now + maxFollowedMs, 0, record.stamp.device};
    m_clock.observe(followed);
    const RecordState known = m_records.value(record.uuid);
    if (isTwin(record, known, importer))
        return applyTwin(record, known, importer);
    if (!known.entity.isEmpty() && record.stamp <= known.stamp)
        return 0;
    QByteArray digest;
    if (record.entity == profileEntity && record.deleted) {
        importer.deleteProfile(record.uuid);
    } else if (record.entity == profileEntity) {
        const Profile *profile = importer.importProfile(record.snapshot);
        digest = profile ? digestOf(*profile) : QByteArray();
    } else if (record.deleted) {
        importer.deleteTag(record.uuid);
    } else {
        const Tag *tag = importer.importTag(record.snapshot);
        digest = tag ? digestOf(*tag) : QByteArray();
    }
    m_records.insert(record.uuid,
                     {record.stamp, record.entity, record.deleted, digest, record.origin});
    return 1;
}

// The first record of a profile that this device already has from elsewhere: both devices
// made it (an edit of this device's copy would carry its origin).
bool SyncMirror::isTwin(const JournalRecord &record, const RecordState &known,
                        const ProfileImporter &importer) const
{
    return record.entity == profileEntity && record.created && !record.deleted && !known.deleted &&
           known.origin != record.origin && importer.profile(record.uuid);
}

// One profile from the two copies: the newer copy's values and forwardings, the tags of both.
// The other device does the same with the same two records and comes to the same profile.
int SyncMirror::applyTwin(const JournalRecord &record, const RecordState &known,
                          ProfileImporter &importer)
{
    const QJsonObject mine = profileJSON(*importer.profile(record.uuid));
    QJsonObject merged = record.stamp > known.stamp ? record.snapshot : mine;
    QJsonArray tags = mine.value(u"tags"_s).toArray();
    for (const QJsonValue &tag : record.snapshot.value(u"tags"_s).toArray()) {
        if (!tags.contains(tag))
            tags.append(tag);
    }
    merged.insert(u"tags"_s, tags);
    const Profile *profile = importer.importProfile(merged);
    m_records.insert(record.uuid, {std::max(record.stamp, known.stamp), profileEntity, false,
                                   profile ? digestOf(*profile) : QByteArray(),
                                   std::min(record.origin, known.origin)});
    return 1;
}

Result<SyncReport> SyncMirror::pass(ObjectContext &context, qint64 now)
{
    if (!QFileInfo(m_folder).isDir())
        return Error(localized("The sync folder “%1” is not there: sync is paused until it "
                               "is back.")
                         .arg(m_folder));
    // The application and the command line may both run passes; they take turns, and each
    // starts from what the other one left in the state file.
    QDir().mkpath(QFileInfo(m_statePath).absolutePath());
    SyncReport report;
    const QString lockPath = m_statePath + u".lock"_s;
    // QLockFile reads a lock that is there to see whether it is stale, and would follow a link
    // or wait on a FIFO; it only ever makes regular files, so anything else is no lock.
    const QFileInfo lockEntry(lockPath);
    if ((lockEntry.isSymLink() || (lockEntry.exists() && !lockEntry.isFile())) &&
        QFile::remove(lockPath))
        report.problems.append(
            localized("Removed “%1”: a lock file that was not a regular file.").arg(lockPath));
    QLockFile lock(lockPath);
    if (!lock.tryLock(lockWaitMs))
        return Error(localized("Another sync pass is still running."));
    if (Status unreadable = readState())
        report.problems.append(unreadable->message);
    const bool republish = !stateFitsFolder();
    if (republish)
        m_positions.clear();
    const QList<JournalRecord> changes = pendingChanges(context, now, republish);
    // A republished library leaves a journal even when it is empty: the folder then has this
    // device's part.
    if (!changes.isEmpty() || republish) {
        const auto written = DeviceJournal(m_folder, m_device).append(changes);
        if (!written)
            return written.error();
        report.written = int(changes.size());
    }

    ProfileImporter importer(context, ConflictPolicy::replaceAll, {}, 2, TakenNames::report);
    importer.mergeTagsByName();
    const DeviceFolders devices = journalDevices(m_folder);
    report.problems += devices.problems;
    for (const QString &device : devices.devices) {
        if (device == m_device)
            continue;
        report.devicesSeen.append(device);
        const JournalRead read =
            DeviceJournal(m_folder, device).readFrom(m_positions.value(device));
        for (const JournalRecord &record : read.records) {
            if (record.stamp.milliseconds - now > maxAheadMs)
                report.problems.append(
                    localized("Skipped a record of the device “%1” stamped %2: that is more than "
                              "two days ahead of this device's clock.")
                        .arg(device, record.stamp.text()));
            else
                report.applied += apply(record, importer, now);
        }
        report.problems += read.problems;
        m_positions.insert(device, read.position);
    }
    report.problems += importer.result().problems;
    const QString previous = context.transactionAuthor();
    context.setTransactionAuthor(author);
    const Status saved = context.saveIfChanged();
    context.setTransactionAuthor(previous);
    if (saved)
        return *saved;
    m_lastPass = QDateTime::currentDateTime();
    m_lastProblems = report.problems;
    if (Status error = saveState())
        return *error;
    return report;
}
