#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "sqlitestore.h"
#include "sqltransaction.h"
#include "tag.h"
#include "testenvironment.h"
#include "undostack.h"

#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>

#include <sqlite3.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<PersistenceController> openStore(const QString &path,
                                                 const QString &author = u"app"_s)
{
    auto store = PersistenceController::open(StoreLocation::file(path), author);
    if (!store)
        qFatal("open failed: %s", qPrintable(store.error().message));
    return std::move(store).value();
}

Profile *profileNamed(ObjectContext *context, const QString &name)
{
    for (Profile *profile : context->profiles()) {
        if (profile->name() == name)
            return profile;
    }
    return nullptr;
}

void rawExec(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

class StoreTest : public QObject
{
    Q_OBJECT

    QString m_path;
    int m_count = 0;

    // Another writer (the command line) deletes the profiles of these names for good, and this
    // context merges it.
    void deleteElsewhere(ObjectContext *ctx, const QStringList &names)
    {
        {
            auto other = openStore(m_path, u"cli"_s);
            for (const QString &name : names)
                other->mainContext()->deleteObject(profileNamed(other->mainContext(), name));
            QVERIFY(!other->mainContext()->save());
        }
        QVERIFY(!ctx->mergeCommitted());
    }

private Q_SLOTS:
    void init()
    {
        m_path = QDir::tempPath() + u"/store-%1-%2/VellSSH.sqlite"_s.arg(getpid()).arg(++m_count);
    }

    void everyAttributeSurvivesAReopen()
    {
        ProfileData saved;
        qint64 profileId = 0;
        {
            auto store = openStore(m_path);
            ObjectContext *ctx = store->mainContext();
            Profile *profile = ctx->insertProfile();
            profile->edit([](ProfileData &d) {
                d.name = u"Zürich “db” 9"_s;
                d.address = u"fe80::1%eth0"_s;
                d.port = 2222;
                d.user = u"deploy"_s;
                d.privateKeyName = u"id_ed25519"_s;
                d.certificateName = u"id_ed25519-cert.pub"_s;
                d.shellOptions = QJsonObject{{u"nested"_s, QJsonObject{{u"a"_s, 1}}}};
                d.infoDictionary =
                    QJsonObject{{u"k"_s, QJsonArray{QJsonValue(1), QJsonValue(u"two"_s)}}};
                d.autoConnect = true;
                d.retryAttempts = -3;
                d.logToFile = true;
                d.logFilePath = u"/tmp/log"_s;
                d.note = u"line one\nline two"_s;
                d.priority = Profile::pinnedPriority;
                d.deletedOn = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123);
            });
            Tag *parent = ctx->insertTag();
            parent->setName(u"parent"_s);
            Tag *tag = ctx->insertTag();
            tag->setName(u"child"_s);
            tag->setParent(parent);
            profile->addTag(tag);
            Forwarding *forwarding = ctx->insertForwarding();
            forwarding->edit([](ForwardingData &d) {
                d.type = 3;
                d.bindAddress = u"::1"_s;
                d.bindPort = 1080;
                d.priority = 4;
            });
            forwarding->setProfile(profile);
            QVERIFY(!ctx->save());
            saved = profile->data();
            profileId = profile->objectId();
            QVERIFY(profileId > 0);
        }
        auto store = openStore(m_path);
        Profile *profile = store->mainContext()->profileWithId(profileId);
        QVERIFY(profile);
        QCOMPARE(profile->data(), saved);
        QCOMPARE(profile->forwardings().size(), 1);
        QCOMPARE(profile->forwardings().first()->bindAddress(), u"::1"_s);
        QCOMPARE(profile->forwardings().first()->kind(), ForwardingType::reverseDynamic);
        QCOMPARE(profile->tags().size(), 1);
        QCOMPARE(profile->tags().first()->parent()->name(), u"parent"_s);
        QCOMPARE(profile->tags().first()->parent()->children().size(), 1);
    }

    void storeFileIsPrivateAndJournaled()
    {
        auto store = openStore(m_path);
        store->mainContext()->insertProfile();
        QVERIFY(!store->mainContext()->save());
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QVERIFY(QFile::exists(m_path + u"-wal"_s));
        // Made complete beside its place, and nothing of the making is left.
        QCOMPARE(QDir(QFileInfo(m_path).absolutePath()).entryList({u"*.new-*"_s}), QStringList());
    }

    // A profile takes its forwardings with it, never its tags; a tag only leaves its profiles.
    void deletionsFollowTheRelationships()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *profile = ctx->insertProfile();
        Profile *kept = ctx->insertProfile();
        Tag *tag = ctx->insertTag();
        profile->addTag(tag);
        kept->addTag(tag);
        ctx->insertForwarding()->setProfile(profile);
        ctx->insertForwarding()->setProfile(profile);
        QVERIFY(!ctx->save());
        ctx->deleteObject(profile);
        QVERIFY(!ctx->save());
        QCOMPARE(ctx->forwardings().size(), 0);
        QCOMPARE(ctx->tags(), QList<Tag *>{tag});
        QCOMPARE(tag->profiles(), QList<Profile *>{kept});
        QCOMPARE(openStore(m_path)->mainContext()->tags().size(), 1);

        ctx->deleteObject(tag);
        QVERIFY(!ctx->save());
        QVERIFY(kept->tags().isEmpty());
        auto reopened = openStore(m_path);
        QCOMPARE(reopened->mainContext()->profiles().size(), 1);
        QCOMPARE(reopened->mainContext()->forwardings().size(), 0);
        QVERIFY(reopened->mainContext()->profiles().first()->tags().isEmpty());
    }

    void saveWritesOneHistoryTransactionUnderTheAuthor()
    {
        auto store = openStore(m_path, u"cli"_s);
        ObjectContext *ctx = store->mainContext();
        QSignalSpy saved(ctx, &ObjectContext::didSave);
        Profile *profile = ctx->insertProfile();
        ctx->insertForwarding()->setProfile(profile);
        QVERIFY(!ctx->save());
        profile->setName(u"renamed"_s);
        profile->setPort(22);
        QVERIFY(!ctx->save());
        QVERIFY(!ctx->saveIfChanged());
        QCOMPARE(saved.count(), 2);

        auto history = ctx->connection().historyAfter(0, {});
        QVERIFY(history.ok());
        QCOMPARE(history->size(), 2);
        QCOMPARE(history->at(0).author, u"cli"_s);
        QCOMPARE(history->at(0).changes.size(), 2);
        QCOMPARE(history->at(0).changes.at(0).type, ChangeType::insert);
        const ObjectChange update = history->at(1).changes.value(0);
        QCOMPARE(update.type, ChangeType::update);
        QCOMPARE(update.uuid, profile->uuid());
        QCOMPARE(update.attributes, (QStringList{u"name"_s, u"port"_s}));
        QVERIFY(ctx->connection().historyAfter(0, {u"cli"_s})->isEmpty());
    }

    // A store that cannot be opened is said, by its path and what is wrong, and left as it is.
    void aStoreThatCannotBeOpenedIsReportedAndLeftAlone_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged") << QString() << QByteArray(8192, 'x') << u"damaged"_s;
        // A store cut to no bytes is not an empty store.
        QTest::newRow("cut to no bytes") << QString() << QByteArray("") << u"empty (0 bytes)"_s;
        QTest::newRow("from a newer version") << QString() << QByteArray() << u"newer"_s;
        QTest::newRow("a folder") << QDir::tempPath() << QByteArray() << u"folder"_s;
        QTest::newRow("unreachable folder")
            << u"/proc/none/VellSSH.sqlite"_s << QByteArray() << u"/proc/none"_s;
    }
    void aStoreThatCannotBeOpenedIsReportedAndLeftAlone()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, contents);
        if (path.isEmpty()) {
            path = m_path;
            if (contents.isNull()) {
                openStore(path);
                rawExec(path, "PRAGMA user_version = 99");
            } else {
                QDir().mkpath(QFileInfo(path).absolutePath());
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(contents);
            }
        }
        QFile file(path);
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();
        auto store = PersistenceController::open(StoreLocation::file(path));
        QVERIFY(!store.ok());
        QFETCH(QString, reason);
        const QString message = store.error().message;
        QVERIFY2(message.contains(reason) && message.contains(QFileInfo(path).absolutePath()),
                 qPrintable(message));
        QVERIFY(file.open(QIODevice::ReadOnly) || before.isEmpty());
        QCOMPARE(file.readAll(), before);
    }

    // Two contexts that read the store before either saved: each save builds on what the
    // other committed, so both edits of the profile's tags stay, and a tag name both created
    // is one tag.
    void aSaveBuildsOnWhatOthersCommitted()
    {
        auto first = openStore(m_path);
        first->mainContext()->insertProfile()->setName(u"p"_s);
        QVERIFY(!first->mainContext()->save());
        auto second = openStore(m_path, u"cli"_s);
        auto third = openStore(m_path, u"cli"_s);
        int number = 0;
        for (auto *store : {first.get(), second.get(), third.get()}) {
            ObjectContext *ctx = store->mainContext();
            Profile *p = profileNamed(ctx, u"p"_s);
            Tag *own = ctx->insertTag();
            own->setName(u"own %1"_s.arg(++number));
            Tag *common = ctx->insertTag();
            common->setName(u"common"_s);
            p->setTags({own, common});
            p->setNote(u"note %1"_s.arg(number));
        }
        QVERIFY(!second->mainContext()->save());
        QVERIFY(!third->mainContext()->save());
        QVERIFY(!first->mainContext()->save());

        auto reopened = openStore(m_path);
        Profile *p = profileNamed(reopened->mainContext(), u"p"_s);
        QStringList names;
        for (const Tag *tag : p->tags())
            names.append(*tag->name());
        names.sort();
        QCOMPARE(names, (QStringList{u"common"_s, u"own 1"_s, u"own 2"_s, u"own 3"_s}));
        QCOMPARE(reopened->mainContext()->tags().size(), 4);
        QCOMPARE(p->note(), u"note 1"_s);
        // The writer that saved last holds the same state as the store.
        Profile *mine = profileNamed(first->mainContext(), u"p"_s);
        QCOMPARE(mine->tags().size(), 4);
        QCOMPARE(first->mainContext()->tags().size(), 4);
    }

    void aFullDiskFailsTheSaveAndLosesNothing()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        ctx->insertProfile()->setName(u"kept"_s);
        QVERIFY(!ctx->save());
        // The store may not grow any further, as on a full disk.
        QVERIFY(!ctx->connection().execute("PRAGMA max_page_count = 1"));
        for (int i = 0; i < 200; ++i)
            ctx->insertProfile()->setNote(QString(500, u'x'));
        const Status error = ctx->save();
        QVERIFY(error);
        QVERIFY2(error->message.startsWith(u"The disk is full"_s), qPrintable(error->message));
        auto reopened = openStore(m_path);
        QCOMPARE(reopened->mainContext()->profiles().size(), 1);
    }

    // Every way out of a save before its commit (a check that refuses, a write that fails, a
    // commit that fails) rolls all of it back: the store stays as it was, its write lock is free
    // for others at once, and the same edits save once the store takes them.
    void aFailedSaveLeavesTheStoreAsItWas_data()
    {
        QTest::addColumn<QByteArray>("breakStore");
        QTest::addColumn<QByteArray>("mendStore");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the check refuses") << QByteArray() << QByteArray() << u"refused"_s;
        QTest::newRow("a write fails")
            << QByteArray("CREATE TRIGGER refuse BEFORE INSERT ON forwarding "
                          "BEGIN SELECT RAISE(ABORT, 'no forwardings'); END")
            << QByteArray("DROP TRIGGER refuse") << u"no forwardings"_s;
        // A deferred constraint fails only at the commit, which leaves the transaction open.
        QTest::newRow("the commit fails")
            << QByteArray("CREATE TABLE audit_parent (id INTEGER PRIMARY KEY);"
                          "CREATE TABLE audit (entry INTEGER REFERENCES audit_parent(id) "
                          "DEFERRABLE INITIALLY DEFERRED);"
                          "CREATE TRIGGER audited AFTER INSERT ON history_transaction "
                          "BEGIN INSERT INTO audit VALUES (NEW.id); END")
            << QByteArray("DROP TRIGGER audited") << u"FOREIGN KEY"_s;
    }
    void aFailedSaveLeavesTheStoreAsItWas()
    {
        QFETCH(QByteArray, breakStore);
        QFETCH(QByteArray, mendStore);
        QFETCH(QString, reason);
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        ctx->insertProfile()->setName(u"kept"_s);
        QVERIFY(!ctx->save());
        if (!breakStore.isEmpty())
            rawExec(m_path, breakStore.constData());

        Profile *added = ctx->insertProfile();
        added->setName(u"added"_s);
        Forwarding *forwarding = ctx->insertForwarding();
        forwarding->setProfile(added);
        const Status error = ctx->save([&]() -> Status {
            if (breakStore.isEmpty())
                return Error{u"refused"_s};
            return std::nullopt;
        });
        QVERIFY(error);
        QVERIFY2(error->message.contains(reason), qPrintable(error->message));
        QCOMPARE(added->objectId(), 0);
        QCOMPARE(forwarding->objectId(), 0);
        QVERIFY(ctx->hasChanges());

        if (!mendStore.isEmpty())
            rawExec(m_path, mendStore.constData());
        {
            auto other = openStore(m_path, u"cli"_s);
            QCOMPARE(other->mainContext()->profiles().size(), 1);
            QCOMPARE(other->mainContext()->connection().historyAfter(0, {})->size(), 1);
            other->mainContext()->insertProfile()->setName(u"other"_s);
            QVERIFY(!other->mainContext()->save());
        }
        QVERIFY(!ctx->save());
        auto reopened = openStore(m_path);
        QStringList names;
        for (const Profile *profile : reopened->mainContext()->profiles())
            names.append(profile->displayName());
        names.sort();
        QCOMPARE(names, (QStringList{u"added"_s, u"kept"_s, u"other"_s}));
        QCOMPARE(reopened->mainContext()->forwardings().size(), 1);
        QCOMPARE(ctx->profiles().size(), 3);
    }

    // A transaction left without a commit, by an early return or an error, takes its writes
    // with it and frees the write lock.
    void aTransactionLeftWithoutCommitWritesNothing()
    {
        auto writer = StoreConnection::open(StoreLocation::file(m_path));
        auto reader = StoreConnection::open(StoreLocation::file(m_path));
        QVERIFY(writer.ok() && reader.ok());
        auto insert = [&](bool commit) -> Status {
            auto transaction = SqlTransaction::begin(**writer, SqlTransaction::Kind::write);
            if (!transaction)
                return transaction.error();
            if (auto id = (*writer)->insertProfile({}); !id)
                return id.error();
            if (!commit)
                return Error{u"left early"_s};
            return transaction->commit();
        };
        QVERIFY(insert(false));
        QVERIFY((*reader)->readAll()->profiles.isEmpty());
        auto other = SqlTransaction::begin(**reader, SqlTransaction::Kind::write);
        QVERIFY(other.ok());
        QVERIFY(!other->commit());
        QVERIFY(!insert(true));
        QCOMPARE((*reader)->readAll()->profiles.size(), 1);
    }

    void aLockedStoreFailsTheSaveAndKeepsTheEdits()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        ctx->insertProfile()->setName(u"first"_s);
        QVERIFY(!ctx->save());

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(m_path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        Profile *second = ctx->insertProfile();
        second->setName(u"second"_s);
        const Status error = ctx->save();
        QVERIFY(error);
        QVERIFY2(error->message.contains(u"locked"_s), qPrintable(error->message));
        QCOMPARE(second->objectId(), 0);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);

        QVERIFY(ctx->hasChanges());
        QVERIFY(!ctx->save());
        auto reopened = openStore(m_path);
        QCOMPARE(reopened->mainContext()->profiles().size(), 2);
    }

    void undoAndRedoRestoreRecordsAndRelationships()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        UndoStack *undo = ctx->undoStack();
        Profile *profile = ctx->insertProfile();
        Tag *tag = ctx->insertTag();
        profile->addTag(tag);
        ctx->insertForwarding()->setProfile(profile);
        QVERIFY(!ctx->save());
        undo->removeAllActions();

        profile->setName(u"edited"_s);
        ctx->processPendingChanges();
        ctx->undo();
        QCOMPARE(profile->name(), u"Unnamed"_s);
        ctx->redo();
        QCOMPARE(profile->name(), u"edited"_s);

        undo->beginUndoGrouping();
        ctx->deleteObject(profile);
        ctx->processPendingChanges();
        undo->setActionName(u"Delete"_s);
        undo->endUndoGrouping();
        QVERIFY(!ctx->save());
        QCOMPARE(undo->undoActionName(), u"Delete"_s);
        QVERIFY(tag->profiles().isEmpty());

        ctx->undo();
        QVERIFY(!profile->isDeleted());
        QCOMPARE(profile->forwardings().size(), 1);
        QCOMPARE(profile->tags(), QList<Tag *>{tag});
        QCOMPARE(undo->redoActionName(), u"Delete"_s);
        QVERIFY(!ctx->save());

        auto reopened = openStore(m_path);
        QCOMPARE(reopened->mainContext()->profiles().size(), 1);
        Profile *restored = reopened->mainContext()->profiles().first();
        QCOMPARE(restored->uuid(), profile->uuid());
        QCOMPARE(restored->forwardings().size(), 1);
        QCOMPARE(restored->tags().size(), 1);
    }

    void mergeKeepsUnsavedLocalEditsAndIsNotUndoable()
    {
        auto app = openStore(m_path);
        ObjectContext *ctx = app->mainContext();
        Profile *profile = ctx->insertProfile();
        profile->setName(u"db"_s);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();
        const qint64 token = *ctx->connection().lastHistoryToken();

        profile->setNote(u"mine"_s);
        ctx->processPendingChanges();
        {
            auto other = openStore(m_path, u"cli"_s);
            Profile *theirs = other->mainContext()->profiles().first();
            theirs->setNote(u"theirs"_s);
            theirs->setAddress(u"db.example"_s);
            QVERIFY(!other->mainContext()->save());
        }
        QSignalSpy changes(ctx, &ObjectContext::objectsDidChange);
        auto history = ctx->connection().historyAfter(token, {u"app"_s});
        QList<ObjectChange> merged;
        for (const HistoryTransaction &t : *history)
            merged += t.changes;
        QVERIFY(!ctx->mergeChanges(merged));
        QCOMPARE(profile->note(), u"mine"_s);
        QCOMPARE(profile->address(), u"db.example"_s);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().value<ObjectsDidChange>().refreshed.size(), 1);

        ctx->undo();
        QVERIFY(!profile->note());
        QCOMPARE(profile->address(), u"db.example"_s);
        QVERIFY(!ctx->undoStack()->canUndo());
    }

    // A forwarding moved and a tag moved under another parent here, and not saved yet, keep
    // their new places when another writer edits them; the other writer's values still count.
    void unsavedRelationshipEditsSurviveAMerge()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *first = ctx->insertProfile();
        first->setName(u"first"_s);
        Profile *second = ctx->insertProfile();
        second->setName(u"second"_s);
        Forwarding *forwarding = ctx->insertForwarding();
        forwarding->setProfile(first);
        Tag *parent = ctx->insertTag();
        parent->setName(u"parent"_s);
        Tag *child = ctx->insertTag();
        child->setName(u"child"_s);
        QVERIFY(!ctx->save());

        forwarding->setProfile(second);
        child->setParent(parent);
        {
            auto other = openStore(m_path, u"cli"_s);
            other->mainContext()->forwardings().first()->edit(
                [](ForwardingData &d) { d.note = u"theirs"_s; });
            for (Tag *tag : other->mainContext()->tags())
                tag->setName(*tag->name() + u" renamed"_s);
            QVERIFY(!other->mainContext()->save());
        }
        QVERIFY(!ctx->mergeCommitted());
        QCOMPARE(forwarding->profile(), second);
        QCOMPARE(forwarding->note(), u"theirs"_s);
        QCOMPARE(child->parent(), parent);
        QCOMPARE(child->name(), u"child renamed"_s);
        QVERIFY(!ctx->save());

        auto reopened = openStore(m_path);
        Forwarding *stored = reopened->mainContext()->forwardings().first();
        QCOMPARE(stored->profile()->name(), u"second"_s);
        QCOMPARE(stored->note(), u"theirs"_s);
        for (Tag *tag : reopened->mainContext()->tags()) {
            if (tag->name() == u"child renamed"_s)
                QCOMPARE(tag->parent()->name(), u"parent renamed"_s);
        }
    }

    // Undo takes back the tags that its step added or removed, and keeps the tags that another
    // writer added since, as it keeps their option keys.
    void undoAfterAMergeKeepsTheMergedTags()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *profile = ctx->insertProfile();
        profile->setName(u"p"_s);
        Tag *mine = ctx->insertTag();
        mine->setName(u"mine"_s);
        profile->addTag(mine);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();

        profile->removeTag(mine);
        ctx->processPendingChanges();
        {
            auto other = openStore(m_path, u"cli"_s);
            Tag *theirs = other->mainContext()->insertTag();
            theirs->setName(u"theirs"_s);
            profileNamed(other->mainContext(), u"p"_s)->addTag(theirs);
            QVERIFY(!other->mainContext()->save());
        }
        QVERIFY(!ctx->mergeCommitted());
        QCOMPARE(profile->tags().size(), 1);
        Tag *theirs = profile->tags().first();
        QCOMPARE(theirs->name(), u"theirs"_s);

        ctx->undo();
        QCOMPARE(QSet<Tag *>(profile->tags().cbegin(), profile->tags().cend()),
                 (QSet<Tag *>{mine, theirs}));
        ctx->redo();
        QCOMPARE(profile->tags(), QList<Tag *>{theirs});
        ctx->undo();
        QVERIFY(!ctx->save());
        auto reopened = openStore(m_path);
        QCOMPARE(profileNamed(reopened->mainContext(), u"p"_s)->tags().size(), 2);
    }

    // A profile deleted here and by another writer before this context saved is gone for good:
    // undo does not bring back a row that no longer exists, and saving goes on working.
    void undoDoesNotReviveWhatAnotherWriterDeletedToo()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *profile = ctx->insertProfile();
        profile->setName(u"gone"_s);
        Tag *tag = ctx->insertTag();
        profile->addTag(tag);
        Forwarding *forwarding = ctx->insertForwarding();
        forwarding->setProfile(profile);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();

        ctx->deleteObject(profile);
        ctx->processPendingChanges();
        deleteElsewhere(ctx, {u"gone"_s});
        ctx->undo();
        QVERIFY(profile->isDeleted());
        QVERIFY(forwarding->isDeleted());
        QVERIFY(ctx->profiles().isEmpty());
        QVERIFY(!ctx->save());
        ctx->insertProfile()->setName(u"later"_s);
        QVERIFY(!ctx->save());

        auto reopened = openStore(m_path);
        QCOMPARE(reopened->mainContext()->profiles().size(), 1);
        QCOMPARE(reopened->mainContext()->profiles().first()->name(), u"later"_s);
        QCOMPARE(reopened->mainContext()->forwardings().size(), 0);
        QCOMPARE(reopened->mainContext()->tags().size(), 1);
    }

    // A forwarding removed here comes back with undo only into a profile that is still there.
    void undoLeavesNoForwardingWithoutItsProfile()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *profile = ctx->insertProfile();
        profile->setName(u"fx"_s);
        Forwarding *removed = ctx->insertForwarding();
        removed->setProfile(profile);
        ctx->insertForwarding()->setProfile(profile);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();

        ctx->deleteObject(removed);
        ctx->processPendingChanges();
        QVERIFY(!ctx->save());
        deleteElsewhere(ctx, {u"fx"_s});
        ctx->undo();
        QVERIFY(removed->isDeleted());
        QVERIFY(ctx->forwardings().isEmpty());
        QVERIFY(!ctx->saveIfChanged());
        QCOMPARE(openStore(m_path)->mainContext()->forwardings().size(), 0);
    }

    // A long-running application must not keep every record it ever saw: a record deleted for
    // good is freed, once no undo step can bring it back, whoever deleted it.
    void deletedRecordsAreFreedOnceNothingCanBringThemBack()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        Profile *kept = ctx->insertProfile();
        kept->setName(u"kept"_s);
        Profile *here = ctx->insertProfile();
        here->setName(u"here"_s);
        ctx->insertForwarding()->setProfile(here);
        Tag *tag = ctx->insertTag();
        here->addTag(tag);
        ctx->insertProfile()->setName(u"elsewhere"_s);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();
        const qsizetype all = ctx->heldObjectCount();

        ctx->deleteObject(here);
        QVERIFY(!ctx->save());
        QCoreApplication::processEvents();
        QCOMPARE(ctx->heldObjectCount(), all);
        ctx->undo();
        QCOMPARE(here->tags(), QList<Tag *>{tag});
        QCOMPARE(here->forwardings().size(), 1);
        ctx->redo();
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();
        QTRY_COMPARE(ctx->heldObjectCount(), all - 2);

        deleteElsewhere(ctx, {u"elsewhere"_s});
        QTRY_COMPARE(ctx->heldObjectCount(), all - 3);
        QCOMPARE(ctx->profiles(), QList<Profile *>{kept});
        QCOMPARE(tag->profiles().size(), 0);
        kept->addTag(tag);
        QVERIFY(!ctx->save());
        QCOMPARE(openStore(m_path)->mainContext()->profiles().first()->tags().size(), 1);
    }

    // Everything a step made was deleted by another writer: the step can do nothing any more,
    // so it goes, and with it the last hold on those records.
    void anUndoStepWithNothingLeftGoes()
    {
        auto store = openStore(m_path);
        ObjectContext *ctx = store->mainContext();
        ctx->insertProfile()->setName(u"kept"_s);
        QVERIFY(!ctx->save());
        ctx->undoStack()->removeAllActions();
        const qsizetype before = ctx->heldObjectCount();
        for (const QString &name : {u"a"_s, u"b"_s}) {
            Profile *made = ctx->insertProfile();
            made->setName(name);
            ctx->insertForwarding()->setProfile(made);
        }
        ctx->processPendingChanges();
        ctx->insertProfile()->setName(u"later"_s);
        ctx->processPendingChanges();
        QVERIFY(!ctx->save());
        QVERIFY(ctx->undoStack()->canUndo());
        deleteElsewhere(ctx, {u"a"_s, u"b"_s, u"later"_s});
        QTRY_VERIFY(!ctx->undoStack()->canUndo());
        QTRY_COMPARE(ctx->heldObjectCount(), before);
    }

    void everyDescriptorIsClosed()
    {
        auto openDescriptors = [] {
            return QDir(u"/proc/self/fd"_s).entryList(QDir::Files).size();
        };
        const qsizetype before = openDescriptors();
        for (int round = 0; round < 3; ++round) {
            auto store = openStore(m_path);
            store->performBackgroundTask([](ObjectContext &ctx) {
                ctx.insertProfile();
                QVERIFY(!ctx.save());
            });
            store->waitForBackgroundTasks();
            auto context = store->newContext();
            QVERIFY(context.ok());
            QVERIFY(!StoreConnection::open(StoreLocation::file(QDir::tempPath())).ok());
        }
        QCOMPARE(openDescriptors(), before);
    }

    void backgroundSavesReachTheMainContext()
    {
        auto store = openStore(m_path);
        QSignalSpy changes(store->mainContext(), &ObjectContext::objectsDidChange);
        store->performBackgroundTask([](ObjectContext &ctx) {
            ctx.insertProfile()->setName(u"from the background"_s);
            QVERIFY(!ctx.save());
        });
        QTRY_VERIFY_WITH_TIMEOUT(profileNamed(store->mainContext(), u"from the background"_s),
                                 10000);
        QVERIFY(!store->mainContext()->undoStack()->canUndo());
    }
};

VELL_TEST_MAIN(StoreTest)
#include "tst_store.moc"
