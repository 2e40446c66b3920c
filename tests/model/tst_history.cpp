#include "forwarding.h"
#include "historytokenstore.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "tag.h"
#include "testenvironment.h"
#include "undostack.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// The second process: edits the store as the author "cli" and exits.
int helper(const QStringList &args)
{
    auto store = PersistenceController::open(StoreLocation::file(args.value(0)), u"cli"_s);
    if (!store)
        return 3;
    ObjectContext *ctx = (*store)->mainContext();
    const QString command = args.value(1);
    auto named = [ctx](const QString &name) -> Profile * {
        for (Profile *p : ctx->profiles()) {
            if (p->name() == name)
                return p;
        }
        return nullptr;
    };
    if (command == u"insert"_s) {
        // insert NAME [UUID] [TAG] [FORWARDING-NOTE]
        ProfileData data;
        if (!args.value(3).isEmpty())
            data.uuid = QUuid(args.value(3));
        Profile *profile = ctx->insertProfile(data);
        profile->setName(args.value(2));
        if (!args.value(4).isEmpty()) {
            Tag *tag = ctx->insertTag();
            tag->setName(args.value(4));
            profile->addTag(tag);
        }
        if (!args.value(5).isEmpty()) {
            Forwarding *forwarding = ctx->insertForwarding();
            forwarding->edit([&](ForwardingData &d) { d.note = args.value(5); });
            forwarding->setProfile(profile);
        }
    } else if (command == u"address"_s) {
        named(args.value(2))->setAddress(args.value(3));
    } else if (command == u"delete"_s) {
        ctx->deleteObject(named(args.value(2)));
    } else if (command == u"edit"_s) {
        // edit PROFILE (TAG | KEY=VALUE | KEY=)...: like the command line, once every writer has
        // read the store; an empty value removes the option.
        QTextStream(stdout) << "loaded" << Qt::endl;
        QTextStream(stdin).readLine();
        Profile *profile = named(args.value(2));
        for (const QString &name : args.mid(3)) {
            if (const qsizetype equals = name.indexOf(u'='); equals > 0) {
                const QString value = name.mid(equals + 1);
                profile->setStringOption(value.isEmpty() ? std::nullopt : std::optional(value),
                                         name.left(equals));
                continue;
            }
            Tag *tag = nullptr;
            for (Tag *t : ctx->tags()) {
                if (t->name() == name)
                    tag = t;
            }
            if (!tag) {
                tag = ctx->insertTag();
                tag->setName(name);
            }
            profile->addTag(tag);
        }
    } else if (command == u"bulk"_s) {
        for (int i = 0; i < args.value(2).toInt(); ++i) {
            Profile *profile = ctx->insertProfile();
            profile->setName(u"bulk %1"_s.arg(i));
            for (int f = 0; f < 5; ++f)
                ctx->insertForwarding()->setProfile(profile);
        }
        QTextStream(stdout) << "saving" << Qt::endl;
    }
    return ctx->save() ? 4 : 0;
}

class MemoryTokens : public HistoryTokenStore
{
public:
    std::optional<qint64> lastToken() const override { return token; }
    void setLastToken(qint64 value) override { token = value; }
    std::optional<qint64> token;
};

QStringList logged;
void keepLog(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "io.vellssh.store.deduplicator") == 0)
        logged.append(message);
}

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

    QString m_path;
    int m_count = 0;
    MemoryTokens m_tokens;
    std::unique_ptr<PersistenceController> m_app;

    ObjectContext *context() { return m_app->mainContext(); }

    void runHelper(const QStringList &args)
    {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(),
                      QStringList{u"--helper"_s, m_path} + args);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    Profile *named(const QString &name)
    {
        for (Profile *p : context()->profiles()) {
            if (p->name() == name)
                return p;
        }
        return nullptr;
    }

    void openApp(int pollMs)
    {
        m_app = std::move(PersistenceController::open(StoreLocation::file(m_path))).value();
        m_app->startHistoryTracking(&m_tokens, pollMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(u"io.vellssh.store.deduplicator.debug=true"_s);
        qInstallMessageHandler(keepLog);
    }

    void init()
    {
        m_path = QDir::tempPath() + u"/history-%1-%2/VellSSH.sqlite"_s.arg(getpid()).arg(++m_count);
        m_tokens.token.reset();
        logged.clear();
    }

    void cleanup() { m_app.reset(); }

    void anotherProcessesEditsReachTheMainContext()
    {
        openApp(50);
        QSignalSpy changes(context(), &ObjectContext::objectsDidChange);
        runHelper({u"insert"_s, u"web"_s});
        QTRY_VERIFY_WITH_TIMEOUT(named(u"web"_s), 10000);
        QVERIFY(!changes.isEmpty());
        QCOMPARE(changes.last().first().value<ObjectsDidChange>().inserted.size(), 1);

        Profile *web = named(u"web"_s);
        web->setNote(u"unsaved here"_s);
        runHelper({u"address"_s, u"web"_s, u"web.example"_s});
        QTRY_COMPARE_WITH_TIMEOUT(web->address(), u"web.example"_s, 10000);
        QCOMPARE(web->note(), u"unsaved here"_s);
        QVERIFY(!context()->save());

        runHelper({u"delete"_s, u"web"_s});
        QTRY_VERIFY_WITH_TIMEOUT(!named(u"web"_s), 10000);
        QVERIFY(web->isDeleted());
        QCOMPARE(*m_tokens.token, *context()->connection().lastHistoryToken());
    }

    // Connections that come and go beside the main one (background and sync passes) must not
    // take the main connection's view of the file with them.
    void connectionsOpenedAndClosedBesideDoNotBlindTheMainOne()
    {
        openApp(50);
        for (int i = 0; i < 3; ++i) {
            auto side = std::move(m_app->newContext()).value();
            if (i == 0) {
                side->insertProfile()->setName(u"side"_s);
                QVERIFY(!side->save());
            }
            side.reset();
            runHelper({u"insert"_s, u"late %1"_s.arg(i)});
            QTRY_VERIFY_WITH_TIMEOUT(named(u"late %1"_s.arg(i)), 10000);
        }
    }

    void theSameProfileFromTwoPlacesBecomesOne()
    {
        openApp(50);
        Profile *mine = context()->insertProfile();
        mine->setName(u"db"_s);
        Tag *ours = context()->insertTag();
        ours->setName(u"ours"_s);
        mine->addTag(ours);
        Forwarding *kept = context()->insertForwarding();
        kept->setProfile(mine);
        QVERIFY(!context()->save());
        context()->undoStack()->removeAllActions();

        runHelper({u"insert"_s, u"db"_s, mine->uuid()->toString(), u"theirs"_s, u"dropped"_s});
        QTRY_VERIFY_WITH_TIMEOUT(
            logged.contains(u"Deduplicating profile with name: db, count: 2"_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(context()->profiles().size(), 1, 10000);
        Profile *survivor = context()->profiles().first();
        QCOMPARE(survivor, mine);
        QCOMPARE(survivor->tags().size(), 2);
        QCOMPARE(survivor->forwardings(), QList<Forwarding *>{kept});
        QCOMPARE(context()->forwardings().size(), 1);
        QVERIFY(!context()->undoStack()->canUndo());

        auto reopened = PersistenceController::open(StoreLocation::file(m_path));
        QCOMPARE((*reopened)->mainContext()->profiles().size(), 1);
        QCOMPARE((*reopened)->mainContext()->forwardings().size(), 1);
    }

    // Writers that read the store before any of them saved: every tag and option they add or
    // remove counts, and a tag name they all create is one tag, in the store and in the running
    // application, where an option edited and not saved yet stays as edited.
    void concurrentWritersKeepEveryChange()
    {
        openApp(50);
        Profile *shared = context()->insertProfile();
        shared->setName(u"p"_s);
        shared->setSSHOptions({{u"Gone"_s, u"x"_s}, {u"Kept"_s, u"y"_s}, {u"Mine"_s, u"old"_s}});
        QVERIFY(!context()->save());
        context()->undoStack()->removeAllActions();
        shared->setStringOption(u"mine"_s, u"Mine"_s);
        shared->setStringOption(u"here"_s, u"Local"_s);
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < 10; ++i) {
            auto &writer = writers.emplace_back(std::make_unique<QProcess>());
            QStringList args{u"--helper"_s,
                             m_path,
                             u"edit"_s,
                             u"p"_s,
                             u"t%1"_s.arg(i),
                             u"common"_s,
                             u"Key%1=v%1"_s.arg(i),
                             u"Mine=theirs"_s};
            if (i == 0)
                args.append(u"Gone="_s);
            writer->start(QCoreApplication::applicationFilePath(), args);
        }
        for (auto &writer : writers) {
            QVERIFY(writer->waitForReadyRead(60000));
            QCOMPARE(writer->readLine().trimmed(), "loaded");
        }
        for (auto &writer : writers) {
            writer->write("go\n");
            writer->closeWriteChannel();
        }
        for (auto &writer : writers) {
            QVERIFY(writer->waitForFinished(60000));
            QCOMPARE(writer->exitCode(), 0);
        }
        QStringList expected{u"common"_s};
        for (int i = 0; i < 10; ++i)
            expected.append(u"t%1"_s.arg(i));
        auto tagNames = [](const QList<Tag *> &tags) {
            QStringList names;
            for (const Tag *tag : tags)
                names.append(tag->name().value_or(QString()));
            names.sort();
            return names;
        };
        auto reopened = std::move(PersistenceController::open(StoreLocation::file(m_path))).value();
        QCOMPARE(tagNames(reopened->mainContext()->tags()), expected);
        QCOMPARE(tagNames(reopened->mainContext()->profiles().first()->tags()), expected);
        QTRY_COMPARE_WITH_TIMEOUT(tagNames(shared->tags()), expected, 10000);
        QCOMPARE(tagNames(context()->tags()), expected);

        OptionDictionary stored{{u"Kept"_s, u"y"_s}, {u"Mine"_s, u"theirs"_s}};
        for (int i = 0; i < 10; ++i)
            stored.insert(u"Key%1"_s.arg(i), u"v%1"_s.arg(i));
        QCOMPARE(reopened->mainContext()->profiles().first()->optionsForReading(), stored);
        OptionDictionary edited = stored;
        edited.insert(u"Mine"_s, u"mine"_s);
        edited.insert(u"Local"_s, u"here"_s);
        QTRY_COMPARE_WITH_TIMEOUT(shared->optionsForReading(), edited, 10000);
        // Undo takes back the options edited here, as any attribute, and keeps those merged in.
        while (context()->undoStack()->canUndo())
            context()->undo();
        OptionDictionary undone = stored;
        undone.insert(u"Mine"_s, u"old"_s);
        QCOMPARE(shared->optionsForReading(), undone);
        while (context()->undoStack()->canRedo())
            context()->redo();
        QCOMPARE(shared->optionsForReading(), edited);
        QVERIFY(!context()->save());
        reopened = std::move(PersistenceController::open(StoreLocation::file(m_path))).value();
        QCOMPARE(reopened->mainContext()->profiles().first()->optionsForReading(), edited);
    }

    void tagsOfTheSameNameAreOne()
    {
        openApp(50);
        Profile *mine = context()->insertProfile();
        mine->setName(u"mine"_s);
        Tag *prod = context()->insertTag();
        prod->setName(u"prod"_s);
        mine->addTag(prod);
        QVERIFY(!context()->save());

        // The other writer's new tag "prod" is the one that exists: no second row is made.
        runHelper({u"insert"_s, u"theirs"_s, QString(), u"prod"_s});
        QTRY_VERIFY_WITH_TIMEOUT(named(u"theirs"_s), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(named(u"theirs"_s)->hasTag(prod), 10000);
        QCOMPARE(context()->tags(), QList<Tag *>{prod});
        QCOMPARE(prod->profiles().size(), 2);
        QVERIFY(mine->hasTag(prod));
        auto reopened = std::move(PersistenceController::open(StoreLocation::file(m_path))).value();
        QCOMPARE(reopened->mainContext()->tags().size(), 1);
    }

    void aDuplicateDeletedBeforeTheMergeIsIgnored()
    {
        openApp(3600 * 1000);
        runHelper({u"insert"_s, u"short-lived"_s});
        runHelper({u"delete"_s, u"short-lived"_s});
        m_app->historyKit()->processNewTransactions();
        QVERIFY(!named(u"short-lived"_s));
        QCOMPARE(logged.filter(u"Ignore a profile that was deleted: "_s).size(), 1);
    }

    void theRememberedPositionIsNotMergedTwice()
    {
        openApp(3600 * 1000);
        runHelper({u"insert"_s, u"once"_s});
        QSignalSpy merged(m_app->historyKit(), &PersistentHistoryKit::transactionsMerged);
        m_app->historyKit()->processNewTransactions();
        QCOMPARE(merged.count(), 1);
        m_app.reset();

        openApp(3600 * 1000);
        QSignalSpy again(m_app->historyKit(), &PersistentHistoryKit::transactionsMerged);
        m_app->historyKit()->processNewTransactions();
        QCOMPARE(again.count(), 0);
        QVERIFY(named(u"once"_s));
    }

    void oldMergedHistoryIsCleanedUp()
    {
        runHelper({u"insert"_s, u"old"_s});
        runHelper({u"insert"_s, u"recent"_s});
        m_tokens.token = 1;
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(m_path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE history_transaction SET timestamp = 0", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        openApp(3600 * 1000);
        // Only what was merged before may go; the rest is merged now and stays a while.
        auto left = context()->connection().historyAfter(0, {});
        QCOMPARE(left->size(), 1);
        QCOMPARE(left->first().token, 2);
        QVERIFY(named(u"recent"_s));
    }

    void aProcessKilledInTheMiddleOfASaveLeavesTheLastCommit()
    {
        runHelper({u"insert"_s, u"committed"_s});
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(),
                      {u"--helper"_s, m_path, u"bulk"_s, u"20000"_s});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine() || process.waitForReadyRead(100), 60000);
        QCOMPARE(process.readLine().trimmed(), QByteArray("saving"));
        process.kill();
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(m_path).constData(), &db), SQLITE_OK);
        sqlite3_stmt *check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        QCOMPARE(sqlite3_step(check), SQLITE_ROW);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(check, 0))),
                 QByteArray("ok"));
        sqlite3_finalize(check);
        sqlite3_close(db);

        auto store = PersistenceController::open(StoreLocation::file(m_path));
        QVERIFY(store.ok());
        QCOMPARE((*store)->mainContext()->profiles().size(), 1);
        QCOMPARE((*store)->mainContext()->profiles().first()->name(), u"committed"_s);
    }
};

VELL_TEST_MAIN_WITH_HELPER(HistoryTest, helper)
#include "tst_history.moc"
