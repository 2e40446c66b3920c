#include "syncjournal.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

JournalRecord record(HybridTimestamp stamp, const QString &name)
{
    return {stamp, u"profile"_s, QUuid::createUuid(), false, {{u"name"_s, name}}, stamp.device};
}

QStringList names(const JournalRead &read)
{
    QStringList result;
    for (const JournalRecord &record : read.records)
        result.append(record.snapshot.value(u"name"_s).toString());
    return result;
}

} // namespace

// The per-device journals of a sync folder and the clock that orders their lines.
class SyncJournalTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<DeviceJournal> m_journal;
    std::unique_ptr<HybridLogicalClock> m_clock;

    QString firstFile() const { return m_journal->folder() + u'/' + DeviceJournal::fileName(1); }

    // Writes past the journal, as a crash, a full disk or the sync engine leaves the file.
    void appendRaw(const QByteArray &bytes)
    {
        QFile file(firstFile());
        QVERIFY(file.open(QIODevice::Append));
        file.write(bytes);
    }

    JournalRecord next(const QString &name) { return record(m_clock->now(1), name); }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_journal = std::make_unique<DeviceJournal>(m_folder->path(), u"A"_s);
        m_clock = std::make_unique<HybridLogicalClock>(u"A"_s);
        QVERIFY(m_journal->append({next(u"one"_s)}));
    }

    void theClockNeverRunsBackward()
    {
        HybridLogicalClock clock(u"A"_s);
        const HybridTimestamp first = clock.now(1000);
        const HybridTimestamp same = clock.now(1000);
        const HybridTimestamp slow = clock.now(900);
        QVERIFY(first < same && same < slow);
        // A device whose clock runs ahead pulls this one along.
        clock.observe({5000, 7, u"B"_s});
        const HybridTimestamp after = clock.now(1001);
        QCOMPARE(after.milliseconds, 5000);
        QCOMPARE(after.counter, 8);
        QVERIFY(first.text() < same.text() && same.text() < after.text());
        QCOMPARE(HybridTimestamp::fromText(after.text()), after);
        QVERIFY(!HybridTimestamp::fromText(u"yesterday"_s));
        QVERIFY(!HybridTimestamp::fromText(u"0000000000005000-99999999999-B"_s));
    }

    // A counter that a burst of changes, a stalled clock or another device drove to its end
    // moves the clock on to the next millisecond; it never wraps around.
    void aFullCounterMovesToTheNextMillisecond_data()
    {
        QTest::addColumn<qint32>("seenCounter");
        QTest::newRow("the last four-digit counter") << HybridTimestamp::maxCounter;
        QTest::newRow("the largest 32-bit counter") << std::numeric_limits<qint32>::max();
        QTest::newRow("a long counter of an older journal") << 123456;
    }
    void aFullCounterMovesToTheNextMillisecond()
    {
        QFETCH(qint32, seenCounter);
        HybridLogicalClock clock(u"A"_s);
        const HybridTimestamp seen{5000, seenCounter, u"B"_s};
        QCOMPARE(HybridTimestamp::fromText(seen.text()), seen);
        clock.observe(seen);
        HybridTimestamp previous = clock.last();
        for (int i = 0; i < 3; ++i) {
            const HybridTimestamp next = clock.now(4000);
            QVERIFY(next > previous);
            QVERIFY(next.counter <= HybridTimestamp::maxCounter);
            QCOMPARE(next.milliseconds, 5001);
            previous = next;
        }
        const HybridTimestamp lastOfItsMillisecond{5000, HybridTimestamp::maxCounter, u"B"_s};
        QVERIFY(clock.now(5001).text() > lastOfItsMillisecond.text());
    }

    // Stamps keep to sixteen digits of milliseconds whatever the clock has seen or is told:
    // a longer one would sort wrong, and every reader refuses it.
    void theClockNeverIssuesAStampThatReadersRefuse_data()
    {
        QTest::addColumn<qint64>("seenMilliseconds");
        QTest::addColumn<qint32>("seenCounter");
        QTest::addColumn<qint64>("wall");
        const qint64 last = HybridTimestamp::maxMilliseconds;
        QTest::newRow("the last millisecond seen, its counter full")
            << last << HybridTimestamp::maxCounter << qint64(1000);
        QTest::newRow("the last millisecond seen with a long counter")
            << last << 123456 << qint64(1000);
        QTest::newRow("a stamp past the last millisecond seen") << last + 1 << 0 << qint64(1000);
        QTest::newRow("a wall clock past the last millisecond") << qint64(0) << 0 << last + 5;
    }
    void theClockNeverIssuesAStampThatReadersRefuse()
    {
        QFETCH(qint64, seenMilliseconds);
        QFETCH(qint32, seenCounter);
        QFETCH(qint64, wall);
        HybridLogicalClock clock(u"A"_s);
        clock.observe({seenMilliseconds, seenCounter, u"B"_s});
        HybridTimestamp previous = clock.last();
        for (int i = 0; i < 3; ++i) {
            const HybridTimestamp next = clock.now(wall);
            QVERIFY(next >= previous);
            QCOMPARE(HybridTimestamp::fromText(next.text()), next);
            QCOMPARE(next.text().size(), u"0000000000000000-0000-A"_s.size());
            previous = next;
        }
    }

    void linesRoundTripAndTombstonesCarryNoRecord()
    {
        const JournalRecord kept = record({1, 0, u"A"_s}, u"db"_s);
        QCOMPARE(JournalRecord::fromLine(kept.line()), kept);
        const JournalRecord gone{{2, 0, u"A"_s}, u"tag"_s, QUuid::createUuid(), true, {}, u"A"_s};
        QVERIFY(!gone.line().contains("record"));
        QCOMPARE(JournalRecord::fromLine(gone.line()), gone);
        QVERIFY(!JournalRecord::fromLine("{\"at\": \"x\"}"));
    }

    void readersTakeWholeLinesInOrderAcrossFiles()
    {
        QVERIFY(m_journal->append({next(u"two"_s)}));
        JournalRead read = m_journal->readFrom({});
        QCOMPARE(names(read), (QStringList{u"one"_s, u"two"_s}));

        // Half a line (the engine is still copying it) waits; the next pass gets it whole.
        const QByteArray line = next(u"three"_s).line();
        appendRaw(line.left(10));
        read = m_journal->readFrom(read.position);
        QVERIFY(read.records.isEmpty());
        appendRaw(line.mid(10) + "not a record\n");
        read = m_journal->readFrom(read.position);
        QCOMPARE(names(read), QStringList{u"three"_s});
        QCOMPARE(read.problems.size(), 1);

        // A copy the engine made is reported, never read.
        QFile conflict(m_journal->folder() + u"/journal-1.sync-conflict-20261206.jsonl"_s);
        QVERIFY(conflict.open(QIODevice::WriteOnly));
        QVERIFY(m_journal->readFrom(read.position).problems.first().contains(u"sync-conflict"_s));
        QCOMPARE(journalDevices(m_folder->path()).devices, QStringList{u"A"_s});
    }

    // Another device's journal that is no regular file is never opened in a way that waits,
    // reads without end or leads elsewhere (a link to the store would drop its locks): it is
    // reported, and its reader stays where it was.
    void aJournalThatIsNoRegularFileIsNotRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a FIFO") << u"fifo"_s;
        QTest::newRow("a link to an endless device") << u"/dev/zero"_s;
        QTest::newRow("a link to a file of this user") << u"file"_s;
    }
    void aJournalThatIsNoRegularFileIsNotRead()
    {
        QFETCH(QString, kind);
        const DeviceJournal evil(m_folder->path(), u"EVIL"_s);
        QVERIFY(QDir().mkpath(evil.folder()));
        const QString path = evil.folder() + u'/' + DeviceJournal::fileName(1);
        if (kind == u"fifo"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(kind == u"file"_s ? firstFile() : kind, path));
        for (int pass = 0; pass < 2; ++pass) {
            const JournalRead read = evil.readFrom({});
            QVERIFY(read.records.isEmpty());
            QVERIFY(read.position == JournalPosition{});
            QCOMPARE(read.problems.size(), 1);
            QVERIFY2(read.problems.first().contains(path), qPrintable(read.problems.first()));
        }

        // A device folder that leads to another one is not taken for a device.
        QVERIFY(QFile::link(m_journal->folder(), m_folder->path() + u"/devices/LINK"_s));
        const DeviceFolders listed = journalDevices(m_folder->path());
        QCOMPARE(listed.devices, (QStringList{u"A"_s, u"EVIL"_s}));
        QCOMPARE(listed.problems.size(), 1);
        QVERIFY(listed.problems.first().contains(m_folder->path() + u"/devices/LINK"_s));
    }

    // A link put in place of this device's journal or of its folder is not written through.
    void thisDevicesJournalIsNeverWrittenThroughALink()
    {
        const QString elsewhere = m_folder->path() + u"/elsewhere"_s;
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write("untouched\n");
        target.close();
        QVERIFY(QFile::remove(firstFile()));
        QVERIFY(QFile::link(elsewhere, firstFile()));
        const Result<QString> refused = m_journal->append({next(u"two"_s)});
        QVERIFY(!refused.ok());
        QVERIFY2(refused.error().message.contains(u"symbolic link"_s),
                 qPrintable(refused.error().message));
        QCOMPARE(QFileInfo(elsewhere).size(), qint64(sizeof("untouched\n") - 1));

        const QString otherFolder = m_folder->path() + u"/other"_s;
        QVERIFY(QDir().mkpath(otherFolder));
        QVERIFY(QFile::link(otherFolder, m_folder->path() + u"/devices/B"_s));
        const Result<QString> linked =
            DeviceJournal(m_folder->path(), u"B"_s).append({next(u"b"_s)});
        QVERIFY(!linked.ok());
        QVERIFY(linked.error().message.contains(u"symbolic link"_s));
        QVERIFY(QDir(otherFolder).isEmpty());
    }

    void journalsAreForThisUserAlone()
    {
        const QFileDevice::Permissions private_ =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        const DeviceJournal journal(m_folder->path(), u"B"_s);
        const mode_t umask = ::umask(022);
        const auto written = journal.append({next(u"one"_s)});
        QVERIFY(written);
        QCOMPARE(QFile::permissions(*written), private_);
        // One an older version left readable to all is narrowed by the next append.
        QVERIFY(QFile::setPermissions(*written, private_ | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(journal.append({next(u"two"_s)}).value(), *written);
        ::umask(umask);
        QCOMPARE(QFile::permissions(*written), private_);
        QCOMPARE(journal.readFrom({}).records.size(), 2);
    }

    // A full file ends and the next one starts; an engine that brings the next file before
    // the last lines of the full one loses nothing.
    void filesThatArriveOutOfOrderWaitForEachOther()
    {
        QTemporaryDir written;
        QTemporaryDir synced;
        const DeviceJournal journal(written.path(), u"A"_s);
        const DeviceJournal copy(synced.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        JournalRecord big = record(clock.now(1), u"big"_s);
        big.snapshot.insert(u"note"_s, QString(DeviceJournal::rotationBytes, u'x'));
        QVERIFY(journal.append({big}));
        auto copyOf = [&](int number) {
            QFile file(journal.folder() + u'/' + DeviceJournal::fileName(number));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray firstBefore = copyOf(1);
        QVERIFY(journal.append({record(clock.now(2), u"last of the first"_s)}));
        QVERIFY(journal.append({record(clock.now(3), u"second"_s)}));
        QVERIFY(copyOf(1).endsWith("{\"end\":true}\n"));
        QVERIFY(!copyOf(2).isEmpty());

        auto put = [&](int number, const QByteArray &bytes) {
            QVERIFY(QDir().mkpath(copy.folder()));
            QFile file(copy.folder() + u'/' + DeviceJournal::fileName(number));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        put(2, copyOf(2));
        put(1, firstBefore);
        JournalRead read = copy.readFrom({});
        QCOMPARE(read.records.size(), 1);
        QCOMPARE(read.position.file, 1);
        put(1, copyOf(1));
        read = copy.readFrom(read.position);
        QCOMPARE(names(read), (QStringList{u"last of the first"_s, u"second"_s}));
        QVERIFY(read.problems.isEmpty());
        QCOMPARE(copy.readFrom(read.position).records.size(), 0);
    }

    // A crash or a full disk leaves a last line without its end. The next append starts on a
    // line of its own, so that every other device still reads its records.
    void anAppendAfterATornLineStartsAFreshLine()
    {
        appendRaw(next(u"torn"_s).line().left(25));
        QVERIFY(m_journal->append({next(u"three"_s)}));
        const JournalRead read = m_journal->readFrom({});
        QCOMPARE(names(read), (QStringList{u"one"_s, u"three"_s}));
        QCOMPARE(read.problems.size(), 1);
    }

    // An append that the disk cuts short is taken back whole, and says why.
    void aShortWriteLeavesNothingBehind()
    {
        const qint64 size = QFileInfo(firstFile()).size();
        JournalRecord big = next(u"big"_s);
        big.snapshot.insert(u"note"_s, QString(64 * 1024, u'x'));

        // A file size limit cuts the write short, as a full disk does.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit limited = before;
        limited.rlim_cur = rlim_t(size + 4096);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        const Result<QString> written = m_journal->append({big});
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &before), 0);
        ::signal(SIGXFSZ, SIG_DFL);

        QVERIFY(!written.ok());
        QVERIFY2(written.error().message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(written.error().message));
        QCOMPARE(QFileInfo(firstFile()).size(), size);
        QVERIFY(m_journal->append({next(u"after"_s)}));
        const JournalRead read = m_journal->readFrom({});
        QCOMPARE(names(read), (QStringList{u"one"_s, u"after"_s}));
        QVERIFY(read.problems.isEmpty());
    }

    // A line longer than any record is skipped without being held, and what follows it is
    // read; a record that would make one is refused.
    void anOverlongLineIsSkipped()
    {
        appendRaw(QByteArray(DeviceJournal::maxLineBytes + 10, 'x'));
        JournalRead read = m_journal->readFrom({});
        QCOMPARE(read.records.size(), 1);
        QVERIFY(read.problems.isEmpty());
        appendRaw("\n" + next(u"two"_s).line());
        read = m_journal->readFrom(read.position);
        QCOMPARE(names(read), QStringList{u"two"_s});
        QCOMPARE(read.problems.size(), 1);
        QVERIFY(read.problems[0].contains(QString::number(DeviceJournal::maxLineBytes)));

        JournalRecord huge = next(u"huge"_s);
        huge.snapshot.insert(u"note"_s, QString(DeviceJournal::maxLineBytes, u'x'));
        const Result<QString> refused = m_journal->append({huge});
        QVERIFY(!refused.ok());
        QVERIFY(refused.error().message.contains(u"too large"_s));
    }
};

VELL_TEST_MAIN(SyncJournalTest)
#include "tst_syncjournal.moc"
