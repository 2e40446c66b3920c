#include "backups.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <filesystem>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// File access as a user without privileges, on this thread alone: for root, permissions only
// hold once its file-system identity is another user's and group's.
struct AsAnotherUser
{
    static constexpr uid_t nobody = 65534;
    static constexpr gid_t nogroup = 65534;

    template<class F>
    auto run(F &&f)
    {
        const bool root = geteuid() == 0;
        if (root) {
            setfsgid(nogroup);
            setfsuid(nobody);
        }
        auto result = f();
        if (root) {
            setfsuid(0);
            setfsgid(0);
        }
        return result;
    }
};

} // namespace

// Time-stamped backups in a folder, and the pruning to the newest 100.
class BackupsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<QTemporaryDir> m_folder;

    void touch(const QString &name)
    {
        QFile file(m_folder->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    // Backups are named in the zone of their time, and read in it whatever this machine's is:
    // here one with a daylight-saving gap.
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void init()
    {
        m_store = std::move(PersistenceController::openInMemory()).value();
        m_folder = std::make_unique<QTemporaryDir>();
    }

    void namesCarryTheTimeAndItsZone()
    {
        const QDateTime east(QDate(2025, 5, 2), QTime(14, 3, 9), Qt::OffsetFromUTC, 3600);
        QCOMPARE(backupFileName(east), u"2025-05-02_14-03-09_+0100.velltunnel"_s);
        QCOMPARE(backupDateOf(backupFileName(east)), east);
        const QDateTime west(QDate(2025, 12, 31), QTime(23, 59, 59), Qt::OffsetFromUTC, -34200);
        QCOMPARE(backupFileName(west), u"2025-12-31_23-59-59_-0930.velltunnel"_s);
        QCOMPARE(backupDateOf(backupFileName(west)), west);
        QVERIFY(!backupDateOf(u"notes.velltunnel"_s));
        QVERIFY(!backupDateOf(u"2025-05-02_14-03-09_+0100.velltunnel.bak"_s));
        QVERIFY(!backupDateOf(u"2025-05-02_14-03-09_+0100.VELLTUNNEL"_s));
        QVERIFY(!backupDateOf(u"2025-05-02_14-03-09_+0100.velltunnel\n"_s));
        QVERIFY(!backupDateOf(u"2025-05-02_14-03-09_+0160.velltunnel"_s));
        QVERIFY(!backupDateOf(u"2025-02-30_14-03-09_+0100.velltunnel"_s));
        const QDateTime inTheGap(QDate(2025, 3, 30), QTime(2, 30), Qt::OffsetFromUTC, 3600);
        QCOMPARE(backupDateOf(u"2025-03-30_02-30-00_+0100.velltunnel"_s), inTheGap);
    }

    void backupsArePrunedToTheNewestHundred()
    {
        QTest::failOnWarning(
            QRegularExpression(u"Failed to extract timestamp from .*VELLTUNNEL"_s));
        BackupFileManager manager(m_folder->path());
        ObjectContext &context = *m_store->mainContext();
        QCOMPARE(performBackup(context, manager).value(), std::nullopt);
        QVERIFY(QDir(m_folder->path()).isEmpty());

        Profile *p = context.insertProfile();
        p->setName(u"db"_s);
        p->setAddress(u"h"_s);
        p->setDeletedOn(QDateTime::currentDateTimeUtc());
        // Written where the clocks here go from 2:00 straight to 3:00.
        const QDateTime start(QDate(2025, 3, 30), QTime(1, 59, 30), Qt::OffsetFromUTC, 3600);
        for (int i = 0; i < 101; ++i)
            touch(backupFileName(start.addSecs(i)));
        touch(u"notes.txt"_s);
        touch(u"notes.velltunnel"_s);
        const QString shouted = backupFileName(start.addSecs(-60)).toUpper();
        touch(shouted);

        const QDateTime now = start.addDays(1);
        const auto written = performBackup(context, manager, now);
        QVERIFY(written && *written);
        // The same second again replaces the file.
        QCOMPARE(performBackup(context, manager, now).value(), written.value());
        manager.waitForDone();
        const auto infos = manager.sortedBackupFileInfos();
        QCOMPARE(infos->size(), 100);
        QCOMPARE(infos->first().path, **written);
        QCOMPARE(infos->last().backupDate, start.addSecs(2));
        QVERIFY(QFile::exists(m_folder->filePath(u"notes.txt"_s)));
        QVERIFY(QFile::exists(m_folder->filePath(u"notes.velltunnel"_s)));
        QVERIFY(QFile::exists(m_folder->filePath(shouted)));

        // A backup is an export: importing it brings the trashed profile back.
        m_store = std::move(PersistenceController::openInMemory()).value();
        const auto imported =
            importProfiles(**written, *m_store->mainContext(), ConflictPolicy::skipAll);
        QCOMPARE(imported->message(), u"1 items was added."_s);
        QVERIFY(m_store->mainContext()->profiles().first()->isInTrash());
    }

    void aFolderThatCannotBeListedIsAnError()
    {
        BackupFileManager manager(m_folder->path() + u"/closed"_s);
        QVERIFY(QDir(m_folder->path()).mkdir(u"closed"_s));
        // The folder is there for the other user to see, only not to list.
        for (QDir up(m_folder->path()); !up.isRoot(); up.cdUp()) {
            std::filesystem::permissions(QFile::encodeName(up.path()).toStdString(),
                                         std::filesystem::perms::others_exec,
                                         std::filesystem::perm_options::add);
        }
        QVERIFY(QFile::setPermissions(manager.backupDirectory(), {}));
        const auto listed = AsAnotherUser().run([&] { return manager.sortedBackupFileInfos(); });
        QVERIFY(!listed);
        QVERIFY2(listed.error().message.contains(u"could not be read: Permission denied"_s),
                 qPrintable(listed.error().message));
        QVERIFY(QFile::setPermissions(manager.backupDirectory(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void theChosenFolderIsKeptAndChecked()
    {
        std::optional<QString> stored;
        auto load = [&] { return stored; };
        auto store = [&](const std::optional<QString> &value) { stored = value; };
        BackupModule module(load, store);
        QVERIFY(!module.manager());
        QVERIFY(module.setDirectory(m_folder->filePath(u"missing"_s)));
        QCOMPARE(stored, std::nullopt);
        QCOMPARE(module.setDirectory(m_folder->path()), std::nullopt);
        QCOMPARE(stored, m_folder->path());

        // Leaving for a folder that is refused: backups stop, and the choice says so.
        QSignalSpy changed(&module, &BackupModule::changed);
        const Status refused = module.setDirectory(m_folder->filePath(u"missing"_s));
        QVERIFY(refused);
        QVERIFY(refused->message.contains(u"automatic backups are off"_s));
        QCOMPARE(module.manager(), nullptr);
        QCOMPARE(stored, std::nullopt);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(module.setDirectory(m_folder->path()), std::nullopt);

        BackupModule restarted(load, store);
        QCOMPARE(restarted.directory(), m_folder->path());
        Profile *p = m_store->mainContext()->insertProfile();
        p->setName(u"db"_s);
        p->setAddress(u"h"_s);
        const mode_t umask = ::umask(022);
        const auto written = restarted.backUp(*m_store->mainContext());
        ::umask(umask);
        QVERIFY(written && *written);
        // Backups hold every profile: they are as private as the store.
        QCOMPARE(QFile::permissions(**written),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(restarted.lastBackupTimestamp());
        QCOMPARE(restarted.setDirectory(std::nullopt), std::nullopt);
        QCOMPARE(stored, std::nullopt);
        QCOMPARE(restarted.backUp(*m_store->mainContext()).value(), std::nullopt);
    }
};

VELL_TEST_MAIN(BackupsTest)
#include "tst_backups.moc"
