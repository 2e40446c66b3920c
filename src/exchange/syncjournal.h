#pragma once

#include "result.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <compare>
#include <optional>

// The order of changes across devices: wall-clock milliseconds, a counter for changes within
// the same millisecond or behind a clock that runs slow, and the device as the last word. A
// device never issues a stamp below one it has seen, so a skewed clock only ever moves stamps
// forward.
struct HybridTimestamp
{
    // The counter's four digits; the clock moves to the next millisecond past them.
    static constexpr qint32 maxCounter = 9999;
    // The sixteen digits of the milliseconds: a longer stamp would sort wrong as text, and
    // readers refuse it.
    static constexpr qint64 maxMilliseconds = 9'999'999'999'999'999;

    qint64 milliseconds = 0;
    qint32 counter = 0;
    QString device;

    // "0001733483000123-0000-DEVICE": sorts as text in the same order as the stamps.
    QString text() const;
    static std::optional<HybridTimestamp> fromText(const QString &text);

    friend std::weak_ordering operator<=>(const HybridTimestamp &,
                                          const HybridTimestamp &) = default;
    friend bool operator==(const HybridTimestamp &, const HybridTimestamp &) = default;
};

class HybridLogicalClock
{
public:
    explicit HybridLogicalClock(QString device) : m_last{0, 0, std::move(device)} {}

    // A stamp for a change made here now. At the last millisecond that stamps can hold, the
    // clock stops there rather than issue a stamp that no reader takes.
    HybridTimestamp now(qint64 wallMilliseconds);
    // Takes note of a stamp read from another device, up to the largest one it can issue.
    void observe(const HybridTimestamp &seen);
    // The newest stamp issued or seen.
    const HybridTimestamp &last() const { return m_last; }

private:
    HybridTimestamp m_last;
};

// One line of a device's journal: the whole record after a change, or its deletion.
struct JournalRecord
{
    HybridTimestamp stamp;
    // "profile" or "tag"; a profile's snapshot holds its forwardings and tags.
    QString entity;
    QUuid uuid;
    bool deleted = false;
    QJsonObject snapshot;
    // The device that made the record first, and whether this is that first record: a profile
    // made on two devices independently is told apart from an edit of one made elsewhere.
    QString origin;
    bool created = false;

    QByteArray line() const;
    static std::optional<JournalRecord> fromLine(const QByteArray &line);

    friend bool operator==(const JournalRecord &, const JournalRecord &) = default;
};

// How far a device's journal has been read: the file number and the byte offset in it.
struct JournalPosition
{
    int file = 1;
    qint64 offset = 0;

    friend auto operator<=>(const JournalPosition &, const JournalPosition &) = default;
};

// What one pass over a device's journal found.
struct JournalRead
{
    QList<JournalRecord> records;
    JournalPosition position;
    // Lines that are complete but not records, files that the sync engine made beside the
    // journal (conflict copies), and journals that are no regular files (a link, a FIFO); these
    // are never read, and the reader stops at such a journal.
    QStringList problems;
};

// The journal of one device in a sync folder: devices/<id>/journal-<n>.jsonl, one record per
// line. Only its own device appends to it; a new file starts once the current one passes
// the size limit.
class DeviceJournal
{
public:
    static constexpr qint64 rotationBytes = 4 * 1024 * 1024;
    // Longer lines are no records: readers skip them without holding them, and a record that
    // would make one is refused.
    static constexpr qint64 maxLineBytes = 16 * 1024 * 1024;

    DeviceJournal(QString syncFolder, QString device);

    QString folder() const { return m_folder; }
    static QString fileName(int number);

    // Appends the records as whole lines, starting on a line of their own; the path of the file
    // written, or the reason (nothing of a failed append stays in the file).
    Result<QString> append(const QList<JournalRecord> &records) const;
    // The records after the position. A last line without its line feed is still being
    // written (or synced) and waits for the next pass.
    JournalRead readFrom(JournalPosition position) const;

private:
    int lastFileNumber() const;

    QString m_folder;
};

// The devices that have a journal in the sync folder: their folders, never a symbolic link to
// one, which is reported.
struct DeviceFolders
{
    QStringList devices;
    QStringList problems;
};
DeviceFolders journalDevices(const QString &syncFolder);
