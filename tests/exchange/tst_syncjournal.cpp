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

} // namespace

// The per-device journals of a sync folder and the clock that orders their lines.
class SyncJournalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTemporaryDir folder;
        const DeviceJournal journal(folder.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        QVERIFY(journal.append({record(clock.now(1), u"one"_s), record(clock.now(2), u"two"_s)}));
        JournalRead read = journal.readFrom({});
        QCOMPARE(read.records.size(), 2);
        QCOMPARE(read.records[1].snapshot.value(u"name"_s).toString(), u"two"_s);

        // Half a line (the engine is still copying it) waits; the next pass gets it whole.
        QFile file(journal.folder() + u'/' + DeviceJournal::fileName(1));
        QVERIFY(file.open(QIODevice::Append));
        const QByteArray line = record(clock.now(3), u"three"_s).line();
        file.write(line.left(10));
        file.flush();
        read = journal.readFrom(read.position);
        QVERIFY(read.records.isEmpty());
        file.write(line.mid(10) + "not a record\n");
        file.close();
        read = journal.readFrom(read.position);
        QCOMPARE(read.records.size(), 1);
        QCOMPARE(read.problems.size(), 1);

        // A copy the engine made is reported, never read.
        QFile conflict(journal.folder() + u"/journal-1.sync-conflict-20261206.jsonl"_s);
        QVERIFY(conflict.open(QIODevice::WriteOnly));
        QVERIFY(journal.readFrom(read.position).problems.first().contains(u"sync-conflict"_s));
        QCOMPARE(journalDevices(folder.path()), QStringList{u"A"_s});
    }

    void journalsAreForThisUserAlone()
    {
        const QFileDevice::Permissions private_ =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        QTemporaryDir folder;
        const DeviceJournal journal(folder.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        const mode_t umask = ::umask(022);
        const auto written = journal.append({record(clock.now(1), u"one"_s)});
        QVERIFY(written);
        QCOMPARE(QFile::permissions(*written), private_);
        // One an older version left readable to all is narrowed by the next append.
        QVERIFY(QFile::setPermissions(*written, private_ | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(journal.append({record(clock.now(2), u"two"_s)}).value(), *written);
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
        QCOMPARE(read.records.size(), 2);
        QCOMPARE(read.records[0].snapshot.value(u"name"_s).toString(), u"last of the first"_s);
        QCOMPARE(read.records[1].snapshot.value(u"name"_s).toString(), u"second"_s);
        QVERIFY(read.problems.isEmpty());
        QCOMPARE(copy.readFrom(read.position).records.size(), 0);
    }

    // A crash or a full disk leaves a last line without its end. The next append starts on a
    // line of its own, so that every other device still reads its records.
    void anAppendAfterATornLineStartsAFreshLine()
    {
        QTemporaryDir folder;
        const DeviceJournal journal(folder.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        QVERIFY(journal.append({record(clock.now(1), u"one"_s)}));
        QFile file(journal.folder() + u'/' + DeviceJournal::fileName(1));
        QVERIFY(file.open(QIODevice::Append));
        file.write(record(clock.now(2), u"torn"_s).line().left(25));
        file.close();
        QVERIFY(journal.append({record(clock.now(3), u"three"_s)}));
        const JournalRead read = journal.readFrom({});
        QCOMPARE(read.records.size(), 2);
        QCOMPARE(read.records[1].snapshot.value(u"name"_s).toString(), u"three"_s);
        QCOMPARE(read.problems.size(), 1);
    }

    // An append that the disk cuts short is taken back whole, and says why.
    void aShortWriteLeavesNothingBehind()
    {
        QTemporaryDir folder;
        const DeviceJournal journal(folder.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        QVERIFY(journal.append({record(clock.now(1), u"one"_s)}));
        const QString path = journal.folder() + u'/' + DeviceJournal::fileName(1);
        const qint64 size = QFileInfo(path).size();
        JournalRecord big = record(clock.now(2), u"big"_s);
        big.snapshot.insert(u"note"_s, QString(64 * 1024, u'x'));

        // A file size limit cuts the write short, as a full disk does.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit limited = before;
        limited.rlim_cur = rlim_t(size + 4096);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        const Result<QString> written = journal.append({big});
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &before), 0);
        ::signal(SIGXFSZ, SIG_DFL);

        QVERIFY(!written.ok());
        QVERIFY2(written.error().message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(written.error().message));
        QCOMPARE(QFileInfo(path).size(), size);
        QVERIFY(journal.append({record(clock.now(3), u"after"_s)}));
        const JournalRead read = journal.readFrom({});
        QCOMPARE(read.records.size(), 2);
        QVERIFY(read.problems.isEmpty());
    }

    // A line longer than any record is skipped without being held, and what follows it is
    // read; a record that would make one is refused.
    void anOverlongLineIsSkipped()
    {
        QTemporaryDir folder;
        const DeviceJournal journal(folder.path(), u"A"_s);
        HybridLogicalClock clock(u"A"_s);
        QVERIFY(journal.append({record(clock.now(1), u"one"_s)}));
        QFile file(journal.folder() + u'/' + DeviceJournal::fileName(1));
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(DeviceJournal::maxLineBytes + 10, 'x'));
        file.flush();
        JournalRead read = journal.readFrom({});
        QCOMPARE(read.records.size(), 1);
        QVERIFY(read.problems.isEmpty());
        file.write("\n" + record(clock.now(2), u"two"_s).line());
        file.close();
        read = journal.readFrom(read.position);
        QCOMPARE(read.records.size(), 1);
        QCOMPARE(read.records[0].snapshot.value(u"name"_s).toString(), u"two"_s);
        QCOMPARE(read.problems.size(), 1);
        QVERIFY(read.problems[0].contains(QString::number(DeviceJournal::maxLineBytes)));

        JournalRecord huge = record(clock.now(3), u"huge"_s);
        huge.snapshot.insert(u"note"_s, QString(DeviceJournal::maxLineBytes, u'x'));
        const Result<QString> refused = journal.append({huge});
        QVERIFY(!refused.ok());
        QVERIFY(refused.error().message.contains(u"too large"_s));
    }
};

VELL_TEST_MAIN(SyncJournalTest)
#include "tst_syncjournal.moc"
