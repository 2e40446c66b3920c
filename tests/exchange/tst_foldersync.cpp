#include "foldersync.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "settings.h"
#include "syncmirror.h"
#include "testenvironment.h"

#include <QDir>
#include <QSignalSpy>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// The application's side of the sync folder: its store with the history service and the folder
// sync, against another device that writes and reads the same folder.
class FolderSyncTest : public QObject
{
    Q_OBJECT

    QString m_folder;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<SettingsHistoryTokenStore> m_tokens;
    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<PersistenceController> m_other;
    std::unique_ptr<SyncMirror> m_otherMirror;

    ObjectContext &context() { return *m_store->mainContext(); }
    Profile *named(ObjectContext &in, const QString &name)
    {
        for (Profile *profile : in.profiles()) {
            if (profile->name() == name)
                return profile;
        }
        return nullptr;
    }
    bool otherPass() { return bool(m_otherMirror->pass(*m_other->mainContext())); }

private Q_SLOTS:
    void initTestCase()
    {
        m_folder = QDir::tempPath() + u"/shared"_s;
        QVERIFY(QDir().mkpath(m_folder));
        m_settings = std::make_unique<Settings>();
        m_tokens = std::make_unique<SettingsHistoryTokenStore>(*m_settings,
                                                               PersistenceController::appAuthor);
        m_store = std::move(PersistenceController::open(
                                StoreLocation::file(PersistenceController::defaultStorePath())))
                      .value();
        m_store->startHistoryTracking(m_tokens.get(), 50);
        m_other = std::move(PersistenceController::openInMemory()).value();
        m_otherMirror = std::make_unique<SyncMirror>(
            m_folder, QDir::tempPath() + u"/other-state.json"_s, u"OTHER"_s);
    }

    void changesCrossBothWaysWhileItRuns()
    {
        FolderSync sync(*m_settings, *m_store);
        QVERIFY(!sync.isOn());
        QSignalSpy passed(&sync, &FolderSync::passed);
        QCOMPARE(turnSyncOn(*m_settings, m_folder), std::nullopt);
        QVERIFY(sync.isOn());
        QVERIFY(passed.wait(10000));

        Profile *theirs = m_other->mainContext()->insertProfile();
        theirs->setName(u"theirs"_s);
        theirs->setAddress(u"t"_s);
        QCOMPARE(m_other->mainContext()->save(), std::nullopt);
        QVERIFY(otherPass());
        QTRY_VERIFY_WITH_TIMEOUT(named(context(), u"theirs"_s), 10000);

        Profile *mine = context().insertProfile();
        mine->setName(u"mine"_s);
        mine->setAddress(u"m"_s);
        QCOMPARE(context().save(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT((otherPass() && named(*m_other->mainContext(), u"mine"_s)), 10000);

        // Turned off, it leaves the folder alone.
        m_settings->set(SettingKeys::iCloudSync, false);
        QVERIFY(!sync.isOn());
        mine->setNote(u"kept here"_s);
        QCOMPARE(context().save(), std::nullopt);
        m_settings->set(SettingKeys::iCloudSync, true);
        QTRY_VERIFY_WITH_TIMEOUT(
            (otherPass() && named(*m_other->mainContext(), u"mine"_s)->note() == u"kept here"_s),
            10000);
    }

    void aFolderThatGoesAwayPausesSyncUntilItIsBack()
    {
        FolderSync sync(*m_settings, *m_store);
        QSignalSpy passed(&sync, &FolderSync::passed);
        QSignalSpy failed(&sync, &FolderSync::failed);
        QVERIFY(passed.wait(10000));
        QVERIFY(QDir().rename(m_folder, m_folder + u".away"_s));
        Profile *offline = context().insertProfile();
        offline->setName(u"made offline"_s);
        offline->setAddress(u"o"_s);
        QCOMPARE(context().save(), std::nullopt);
        QVERIFY(failed.wait(10000));
        QVERIFY(failed.last().first().toString().contains(u"sync is paused"_s));

        QVERIFY(QDir().rename(m_folder + u".away"_s, m_folder));
        sync.passSoon();
        QTRY_VERIFY_WITH_TIMEOUT((otherPass() && named(*m_other->mainContext(), u"made offline"_s)),
                                 10000);
    }

    // A device that comes to the folder after the library was last written: first in a folder
    // chosen anew, then in that folder emptied while sync was off.
    void aFolderWithoutTheLibraryGetsItWhole()
    {
        FolderSync sync(*m_settings, *m_store);
        QSignalSpy passed(&sync, &FolderSync::passed);
        QVERIFY(passed.wait(10000));
        const QString moved = QDir::tempPath() + u"/moved"_s;
        for (int round = 0; round < 2; ++round) {
            if (round == 1)
                m_settings->set(SettingKeys::iCloudSync, false);
            QVERIFY(QDir(moved).removeRecursively() && QDir().mkpath(moved));
            QCOMPARE(turnSyncOn(*m_settings, moved), std::nullopt);
            auto newcomer = std::move(PersistenceController::openInMemory()).value();
            SyncMirror mirror(moved, QDir::tempPath() + u"/newcomer-%1.json"_s.arg(round),
                              u"NEW%1"_s.arg(round));
            QTRY_VERIFY_WITH_TIMEOUT((mirror.pass(*newcomer->mainContext()) &&
                                      named(*newcomer->mainContext(), u"made offline"_s)),
                                     10000);
        }
    }

    // A journal that is a FIFO or leads to an endless device holds no pass up: the other
    // devices' changes still arrive, and sync stops when asked.
    void aJournalThatIsNoFileHoldsNoPassUp()
    {
        const QString devices = m_folder + u"/devices/"_s;
        QVERIFY(QDir().mkpath(devices + u"FIFO"_s) && QDir().mkpath(devices + u"ZERO"_s));
        const QString fifo = devices + u"FIFO/journal-1.jsonl"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(u"/dev/zero"_s, devices + u"ZERO/journal-1.jsonl"_s));
        {
            FolderSync sync(*m_settings, *m_store);
            QCOMPARE(turnSyncOn(*m_settings, m_folder), std::nullopt);
            Profile *theirs = m_other->mainContext()->insertProfile();
            theirs->setName(u"past the FIFO"_s);
            theirs->setAddress(u"f"_s);
            QCOMPARE(m_other->mainContext()->save(), std::nullopt);
            QVERIFY(otherPass());
            QTRY_VERIFY_WITH_TIMEOUT(named(context(), u"past the FIFO"_s), 10000);
        }
        QVERIFY(QDir(devices + u"FIFO"_s).removeRecursively());
        QVERIFY(QDir(devices + u"ZERO"_s).removeRecursively());
    }
};

VELL_TEST_MAIN(FolderSyncTest)
#include "tst_foldersync.moc"
