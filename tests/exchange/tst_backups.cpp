#include "backups.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

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
    }

    void backupsArePrunedToTheNewestHundred()
    {
        BackupFileManager manager(m_folder->path());
        ObjectContext &context = *m_store->mainContext();
        QCOMPARE(performBackup(context, manager).value(), std::nullopt);
        QVERIFY(QDir(m_folder->path()).isEmpty());

        Profile *p = context.insertProfile();
        p->setName(u"db"_s);
        p->setAddress(u"h"_s);
        p->setDeletedOn(QDateTime::currentDateTimeUtc());
        const QDateTime start(QDate(2025, 1, 1), QTime(0, 0), Qt::OffsetFromUTC, 0);
        for (int i = 0; i < 101; ++i)
            touch(backupFileName(start.addSecs(i)));
        touch(u"notes.txt"_s);
        touch(u"notes.velltunnel"_s);

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

        // A backup is an export: importing it brings the trashed profile back.
        m_store = std::move(PersistenceController::openInMemory()).value();
        const auto imported =
            importProfiles(**written, *m_store->mainContext(), ConflictPolicy::skipAll);
        QCOMPARE(imported->message(), u"1 items was added."_s);
        QVERIFY(m_store->mainContext()->profiles().first()->isInTrash());
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
