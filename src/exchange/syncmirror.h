#pragma once

#include "result.h"
#include "syncjournal.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

class ObjectContext;
class ProfileImporter;

// What one pass over the sync folder did.
struct SyncReport
{
    int written = 0;
    int applied = 0;
    QStringList devicesSeen;
    QStringList problems;
};

// Keeps a store in step with the other devices of a sync folder. Each pass writes what changed
// here since the last pass into this device's journal (whole records, deletions as tombstones)
// and applies the other devices' newer records. A record's last writer wins by the hybrid
// clock: a deletion beats an older edit, and an edit newer than a deletion brings the record
// back. A profile made on two devices independently (one file imported on both) becomes one
// with the tags of both copies, and tags of one name become one tag, as the history's
// de-duplication does for the store's own processes. What this device has read and written is
// kept in a state file of its own, for one folder: in another folder, or in one that has lost
// this device's journal, the next pass publishes the whole library and reads the others anew.
class SyncMirror
{
public:
    // The author of the transactions that apply other devices' changes.
    static inline const QString author = QStringLiteral("cloud");

    SyncMirror(QString folder, QString statePath, QString device);

    QString device() const { return m_device; }
    // A folder that is not there pauses sync: nothing is read, written or lost.
    Result<SyncReport> pass(ObjectContext &context,
                            qint64 nowMilliseconds = QDateTime::currentMSecsSinceEpoch());

    static QString newDeviceId();
    // What the state file remembers: when the last pass ended, and what it found wrong. Each
    // pass reads the file itself.
    Status readState();
    std::optional<QDateTime> lastPass() const { return m_lastPass; }
    QStringList lastProblems() const { return m_lastProblems; }

private:
    struct RecordState
    {
        HybridTimestamp stamp;
        QString entity;
        bool deleted = false;
        QByteArray digest;
        QString origin;
    };

    Status saveState() const;
    QList<JournalRecord> pendingChanges(const ObjectContext &context, qint64 now, bool everything);
    bool stateFitsFolder() const;
    int apply(const JournalRecord &record, ProfileImporter &importer, qint64 now);
    bool isTwin(const JournalRecord &record, const RecordState &known,
                const ProfileImporter &importer) const;
    int applyTwin(const JournalRecord &record, const RecordState &known, ProfileImporter &importer);

    QString m_folder;
    QString m_statePath;
    QString m_device;
    // The folder that the state file was written for.
    QString m_stateFolder;
    HybridLogicalClock m_clock;
    QHash<QString, JournalPosition> m_positions;
    QHash<QUuid, RecordState> m_records;
    std::optional<QDateTime> m_lastPass;
    QStringList m_lastProblems;
};
