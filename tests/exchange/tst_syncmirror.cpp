#include "forwarding.h"
#include "forwardingtype.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilejson.h"
#include "syncmirror.h"
#include "tag.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// One device: its own store, its own state file, the shared folder.
struct Device
{
    enum Storage
    {
        inMemory,
        onDisk
    };
    Device(const QString &folder, const QString &id, Storage storage = inMemory)
        : mirror(folder, local.filePath(u"sync-state.json"_s), id)
    {
        if (storage == inMemory)
            store = std::move(PersistenceController::openInMemory()).value();
        else
            reopen();
    }

    void reopen()
    {
        store.reset();
        store = std::move(PersistenceController::open(
                              StoreLocation::file(local.filePath(u"VellSSH.sqlite"_s))))
                    .value();
    }
    ObjectContext &context() { return *store->mainContext(); }
    Profile *add(const QString &name, const QString &address)
    {
        Profile *profile = context().insertProfile();
        profile->setName(name);
        profile->setAddress(address);
        return profile;
    }
    Tag *tag(Profile *profile, const QString &name)
    {
        Tag *tag = context().insertTag();
        tag->edit([&](TagData &d) { d.name = name; });
        profile->addTag(tag);
        return tag;
    }
    SyncReport pass(qint64 now)
    {
        auto report = mirror.pass(context(), now);
        if (!report)
            qFatal("%s", qPrintable(report.error().message));
        return *report;
    }
    Profile *profile(const QString &name)
    {
        for (Profile *p : context().profiles()) {
            if (p->name() == name)
                return p;
        }
        return nullptr;
    }

    QTemporaryDir local;
    SyncMirror mirror;
    std::unique_ptr<PersistenceController> store;
};

} // namespace

// Two stores kept in step through one folder.
class SyncMirrorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;

private Q_SLOTS:
    void init() { m_folder = std::make_unique<QTemporaryDir>(); }

    void recordsTravelBothWays()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        Profile *db = a.add(u"db"_s, u"h"_s);
        a.tag(db, u"prod"_s);
        QCOMPARE(a.context().save(), std::nullopt);

        QCOMPARE(a.pass(1000).written, 2);
        QCOMPARE(a.pass(1001).written, 0);
        const SyncReport received = b.pass(1002);
        QCOMPARE(received.applied, 2);
        QCOMPARE(received.devicesSeen, QStringList{u"A"_s});
        QVERIFY(b.profile(u"db"_s));
        QCOMPARE(b.profile(u"db"_s)->tags().first()->data().name, u"prod"_s);
        // What came in is not sent back out.
        QCOMPARE(b.pass(1003).written, 0);

        b.profile(u"db"_s)->setNote(u"from B"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        QCOMPARE(b.pass(1004).written, 1);
        QCOMPARE(a.pass(1005).applied, 1);
        QCOMPARE(db->note(), u"from B"_s);

        // A restart picks up where the last pass ended.
        SyncMirror restarted(m_folder->path(), a.local.filePath(u"sync-state.json"_s), u"A"_s);
        const auto again = restarted.pass(a.context(), 1006);
        QCOMPARE(again->written, 0);
        QCOMPARE(again->applied, 0);
    }

    void theLastWriterWinsAndDeletionsAreRecordsToo()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        Profile *db = a.add(u"db"_s, u"h"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(1000);
        b.pass(1001);

        // Both edit before they hear of each other: the later edit is the record everywhere.
        db->setNote(u"older"_s);
        b.profile(u"db"_s)->setNote(u"newer"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        QCOMPARE(b.context().save(), std::nullopt);
        a.pass(2000);
        b.pass(3000);
        a.pass(3001);
        QCOMPARE(db->note(), u"newer"_s);
        QCOMPARE(b.profile(u"db"_s)->note(), u"newer"_s);

        // A deletion beats an edit made before it...
        b.profile(u"db"_s)->setNote(u"before the deletion"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(4000);
        a.context().deleteObject(db);
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(5000);
        b.pass(5001);
        QVERIFY(!b.profile(u"db"_s));

        // ...and an edit made after a deletion keeps the record alive.
        Device c(m_folder->path(), u"C"_s);
        c.pass(1);
        QVERIFY(!c.profile(u"db"_s));
        b.add(u"again"_s, u"h"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(6000);
        a.pass(6001);
        a.profile(u"again"_s)->setNote(u"edited"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        b.context().deleteObject(b.profile(u"again"_s));
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(7000);
        a.pass(8000);
        b.pass(8001);
        QCOMPARE(b.profile(u"again"_s)->note(), u"edited"_s);
        QVERIFY(a.profile(u"again"_s));
    }

    // One file imported on both devices, each copy tagged there, with tags named alike made on
    // each: one profile with every tag, one tag of each name.
    void copiesMadeOnTwoDevicesBecomeOne()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        ProfileData shared;
        shared.uuid = QUuid::createUuid();
        ForwardingData sharedForwarding;
        sharedForwarding.uuid = QUuid::createUuid();
        sharedForwarding.enabled = true;
        sharedForwarding.bindPort = 1080;
        sharedForwarding.type = qint16(ForwardingType::dynamic);
        auto makeCopy = [&](Device &device, const QString &address, const QString &own) {
            Profile *copy = device.context().insertProfile(shared);
            copy->setName(u"db"_s);
            copy->setAddress(address);
            device.context().insertForwarding(sharedForwarding)->setProfile(copy);
            for (const QString &name : {u"work"_s, own})
                device.tag(copy, name);
            QCOMPARE(device.context().save(), std::nullopt);
        };
        makeCopy(a, u"older.example"_s, u"a-only"_s);
        makeCopy(b, u"newer.example"_s, u"b-only"_s);
        QList<QUuid> workUUIDs;
        for (Device *device : {&a, &b})
            workUUIDs.append(*device->profile(u"db"_s)->tags().first()->data().uuid);
        const QUuid keptWork = std::min(workUUIDs[0], workUUIDs[1]);

        a.pass(1000);
        b.pass(2000);
        for (qint64 now = 3000; now < 3010; now += 2) {
            a.pass(now);
            b.pass(now + 1);
        }
        for (Device *device : {&a, &b}) {
            QCOMPARE(device->context().profiles().size(), 1);
            const Profile *db = device->profile(u"db"_s);
            QCOMPARE(db->address(), u"newer.example"_s);
            QCOMPARE(device->context().forwardings().size(), 1);
            QCOMPARE(db->forwardings().first()->data(), sharedForwarding);
            QStringList names;
            for (const Tag *tag : db->tags())
                names.append(*tag->data().name);
            names.sort();
            QCOMPARE(names, (QStringList{u"a-only"_s, u"b-only"_s, u"work"_s}));
            QCOMPARE(device->context().tags().size(), 3);
            for (const Tag *tag : device->context().tags()) {
                if (tag->data().name == u"work"_s)
                    QCOMPARE(*tag->data().uuid, keptWork);
            }
        }
        QCOMPARE(a.pass(4000).written + b.pass(4001).written, 0);

        // Afterwards an edit on either side is an ordinary edit, not another copy.
        b.profile(u"db"_s)->setTags({});
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(5000);
        a.pass(5001);
        QVERIFY(a.profile(u"db"_s)->tags().isEmpty());
    }

    // Names are unique on each device, but two devices can each make one: sync keeps both as
    // they are (devices renaming each other's profiles would chase each other) and says so.
    void oneNameMadeOnTwoDevicesIsKeptAndReported()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        a.add(u"web"_s, u"a.example"_s);
        b.add(u"Web"_s, u"b.example"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        QCOMPARE(b.context().save(), std::nullopt);
        a.pass(1000);
        const SyncReport report = b.pass(2000);
        QCOMPARE(report.problems,
                 QStringList{u"“web” shares its name with another profile: rename one of them."_s});
        QCOMPARE(b.mirror.lastProblems(), report.problems);
        a.pass(3000);
        for (Device *device : {&a, &b}) {
            QStringList names;
            for (const Profile *profile : device->context().profiles())
                names.append(*profile->name());
            names.sort();
            QCOMPARE(names, (QStringList{u"Web"_s, u"web"_s}));
        }
        QCOMPARE(a.pass(4000).written + b.pass(4001).written, 0);
    }

    void manyTagsOfOneNameBecomeOne()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        for (int i = 0; i < 12; ++i) {
            a.tag(a.add(u"p%1"_s.arg(i), u"h"_s), u"team"_s);
        }
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(1000);
        b.pass(2000);
        QCOMPARE(b.context().tags().size(), 1);
        QCOMPARE(b.context().tags().first()->profiles().size(), 12);
    }

    // What a pass applied is what the store gives back later, whatever order the relations
    // load in: nothing goes out again (it would overwrite newer edits made elsewhere).
    void appliedRecordsAreNotSentBackAfterARestart()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s, Device::onDisk);
        for (int i = 0; i < 20; ++i) {
            Profile *profile = a.add(u"p%1"_s.arg(i), u"h"_s);
            for (const QString &name : {u"z%1"_s.arg(i), u"a%1"_s.arg(i), u"m%1"_s.arg(i)})
                a.tag(profile, name);
            for (int f = 0; f < 3; ++f)
                a.context().insertForwarding()->setProfile(profile);
        }
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(1000);
        QVERIFY(b.pass(2000).applied > 0);
        b.reopen();
        QCOMPARE(b.pass(3000).written, 0);
    }

    void aLibraryOfTenThousandProfilesArrivesWhole()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        QList<Tag *> tags;
        for (int t = 0; t < 50; ++t) {
            tags.append(a.context().insertTag());
            tags.last()->edit([t](TagData &d) { d.name = u"tag %1"_s.arg(t); });
        }
        for (int i = 0; i < 10000; ++i) {
            Profile *profile = a.add(u"server %1"_s.arg(i), u"host-%1.example"_s.arg(i));
            profile->addTag(tags[i % 50]);
            profile->addTag(tags[(i + 7) % 50]);
            for (qint16 f = 0; f < 5; ++f) {
                Forwarding *forwarding = a.context().insertForwarding();
                forwarding->edit([&](ForwardingData &d) {
                    d.bindPort = 10000 + f;
                    d.targetAddress = u"db-%1"_s.arg(i);
                    d.targetPort = 5432;
                    d.priority = f;
                });
                forwarding->setProfile(profile);
            }
        }
        QCOMPARE(a.context().save(), std::nullopt);
        QCOMPARE(a.pass(1000).written, 10050);
        QCOMPARE(b.pass(2000).applied, 10050);
        QCOMPARE(b.context().profiles().size(), 10000);
        QCOMPARE(b.context().forwardings().size(), 50000);
        QCOMPARE(b.context().tags().size(), 50);
        const Profile *last = b.profile(u"server 9999"_s);
        QCOMPARE(last->forwardings().size(), 5);
        QCOMPARE(last->tags().size(), 2);
        QCOMPARE(b.pass(3000).written, 0);
    }

    // A device whose clock runs an hour slow still edits after what it has seen.
    void anEditAfterWhatADeviceSawWinsWhateverItsClockSays()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        Profile *db = a.add(u"db"_s, u"h"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(3'600'000);
        b.pass(1000);
        b.profile(u"db"_s)->setNote(u"from the slow clock"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(2000);
        a.pass(3'600'001);
        QCOMPARE(db->note(), u"from the slow clock"_s);
    }

    // A record stamped far ahead (a broken or hostile device) is not applied and does not drag
    // this device's clock along, so that its later stamps stay readable for every other device;
    // one merely ahead is applied.
    void aRecordStampedFarAheadIsNotBelieved()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        Device evil(m_folder->path(), u"EVIL"_s);
        a.add(u"db"_s, u"h"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(1000);
        const Profile *soon = evil.add(u"soon"_s, u"h"_s);
        const Profile *later = evil.add(u"later"_s, u"h"_s);
        const Profile *far = evil.add(u"far"_s, u"h"_s);
        const qint64 hour = 3'600'000;
        const HybridTimestamp anHourAhead{1000 + hour, 0, u"EVIL"_s};
        const HybridTimestamp twoDaysAhead{1000 + 47 * hour, 0, u"EVIL"_s};
        const HybridTimestamp farAhead{HybridTimestamp::maxMilliseconds,
                                       HybridTimestamp::maxCounter, u"EVIL"_s};
        QVERIFY(DeviceJournal(m_folder->path(), u"EVIL"_s)
                    .append({{anHourAhead, u"profile"_s, *soon->uuid(), false, profileJSON(*soon),
                              u"EVIL"_s, true},
                             {twoDaysAhead, u"profile"_s, *later->uuid(), false,
                              profileJSON(*later), u"EVIL"_s, true},
                             {farAhead, u"profile"_s, *far->uuid(), false, profileJSON(*far),
                              u"EVIL"_s, true}}));

        const SyncReport received = b.pass(2000);
        QVERIFY(b.profile(u"soon"_s) && b.profile(u"later"_s));
        QVERIFY(!b.profile(u"far"_s));
        QCOMPARE(received.problems.size(), 1);
        QVERIFY2(received.problems.first().contains(u"“EVIL”"_s) &&
                     received.problems.first().contains(farAhead.text()),
                 qPrintable(received.problems.first()));
        QVERIFY(b.pass(2001).problems.isEmpty());

        b.profile(u"db"_s)->setNote(u"from B"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        QCOMPARE(b.pass(3000).written, 1);
        // B's clock followed the record two days ahead only one day: its stamps still reach a
        // device whose clock is up to a day behind.
        const JournalRead mine = DeviceJournal(m_folder->path(), u"B"_s).readFrom({});
        QVERIFY(mine.records.last().stamp.milliseconds <= 3000 + 24 * hour);
        const SyncReport seen = a.pass(4000);
        for (const QString &problem : seen.problems)
            QVERIFY2(!problem.contains(u"not a record"_s), qPrintable(problem));
        QCOMPARE(a.profile(u"db"_s)->note(), u"from B"_s);
    }

    // Entries that are no regular files, in the folder or beside the state, neither hold a
    // pass nor lead it to other files (a journal that leads to the store would drop its
    // locks): each is reported, and the other devices' records still come.
    void entriesThatAreNoFilesHoldNothingUp()
    {
        Device a(m_folder->path(), u"A"_s, Device::onDisk);
        Device b(m_folder->path(), u"B"_s);
        b.add(u"db"_s, u"h"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(1000);
        const QString devices = m_folder->path() + u"/devices/"_s;
        for (const QString &device : {u"FIFO"_s, u"ZERO"_s, u"STORE"_s})
            QVERIFY(QDir().mkpath(devices + device));
        const QString fifo = devices + u"FIFO/journal-1.jsonl"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(u"/dev/zero"_s, devices + u"ZERO/journal-1.jsonl"_s));
        QVERIFY(QFile::link(a.local.filePath(u"VellSSH.sqlite"_s),
                            devices + u"STORE/journal-1.jsonl"_s));
        QVERIFY(QFile::link(devices + u"B"_s, devices + u"LINK"_s));
        const QString lock = a.local.filePath(u"sync-state.json.lock"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);

        const SyncReport report = a.pass(2000);
        QCOMPARE(report.applied, 1);
        QVERIFY(a.profile(u"db"_s));
        const QString problems = report.problems.join(u'\n');
        for (const QString &entry :
             {fifo, devices + u"ZERO/journal-1.jsonl"_s, devices + u"STORE/journal-1.jsonl"_s,
              devices + u"LINK"_s, lock})
            QVERIFY2(problems.contains(entry), qPrintable(problems));

        // A state that leads elsewhere is not read; sync starts afresh and loses nothing.
        const QString state = a.local.filePath(u"sync-state.json"_s);
        QVERIFY(QFile::remove(state));
        QVERIFY(QFile::link(fifo, state));
        const SyncReport afresh = a.pass(3000);
        QVERIFY2(afresh.problems.first().contains(u"could not be read (it is a symbolic link)"_s),
                 qPrintable(afresh.problems.first()));
        QVERIFY(!QFileInfo(state).isSymLink());
        QVERIFY(a.profile(u"db"_s));
    }

    void aFolderWithoutThisDevicesJournalGetsTheWholeLibrary()
    {
        Device a(m_folder->path(), u"A"_s);
        Device b(m_folder->path(), u"B"_s);
        a.add(u"db"_s, u"h"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        a.pass(1000);
        b.pass(1001);

        // Another folder: the state was for the first one, and the new one has nothing yet.
        QTemporaryDir other;
        SyncMirror moved(other.path(), a.local.filePath(u"sync-state.json"_s), u"A"_s);
        QCOMPARE(moved.pass(a.context(), 2000)->written, 1);
        Device c(other.path(), u"C"_s);
        QCOMPARE(c.pass(2001).applied, 1);
        QVERIFY(c.profile(u"db"_s));
        QCOMPARE(moved.pass(a.context(), 2002)->written, 0);

        // Emptied behind sync's back, with a newer edit made elsewhere meanwhile: the library
        // goes out again as of its last change, so that edit still wins on both devices.
        QVERIFY(QDir(m_folder->path() + u"/devices/A"_s).removeRecursively());
        b.profile(u"db"_s)->setNote(u"from B"_s);
        QCOMPARE(b.context().save(), std::nullopt);
        b.pass(3000);
        const SyncReport again = a.pass(4000);
        QCOMPARE(again.written, 1);
        QCOMPARE(again.applied, 1);
        QCOMPARE(a.profile(u"db"_s)->note(), u"from B"_s);
        b.pass(4001);
        QCOMPARE(b.profile(u"db"_s)->note(), u"from B"_s);
        Device d(m_folder->path(), u"D"_s);
        d.pass(4002);
        QCOMPARE(d.profile(u"db"_s)->note(), u"from B"_s);

        // An empty library leaves its journal too, so the next pass is an ordinary one.
        Device e(other.path(), u"E"_s);
        QCOMPARE(e.pass(5000).written, 0);
        QVERIFY(QFile::exists(other.filePath(u"devices/E/journal-1.jsonl"_s)));
        QCOMPARE(e.pass(5001).applied, 0);
    }

    void aMissingFolderOrABrokenStateLosesNothing()
    {
        Device a(m_folder->path() + u"/gone"_s, u"A"_s);
        a.add(u"db"_s, u"h"_s);
        QCOMPARE(a.context().save(), std::nullopt);
        const auto paused = a.mirror.pass(a.context(), 1000);
        QVERIFY(!paused);
        QVERIFY(paused.error().message.contains(u"sync is paused"_s));
        QVERIFY(QDir().mkpath(m_folder->path() + u"/gone"_s));
        QCOMPARE(a.pass(2000).written, 1);

        // A broken state file is said, and sync starts afresh with everything still there.
        QFile state(a.local.filePath(u"sync-state.json"_s));
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write("{\"positions\": [");
        state.close();
        const SyncReport afresh = a.pass(3000);
        QCOMPARE(afresh.written, 1);
        QVERIFY(afresh.problems.first().contains(u"could not be read"_s));
        QCOMPARE(a.pass(4000).written, 0);
        QVERIFY(a.profile(u"db"_s));
    }
};

VELL_TEST_MAIN(SyncMirrorTest)
#include "tst_syncmirror.moc"
