#include "forwarding.h"
#include "forwardingtype.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "profilejson.h"
#include "profilevalidationform.h"
#include "tag.h"
#include "testenvironment.h"
#include "transferableprofile.h"
#include "undostack.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir::tempPath() + u'/' + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson()
                           : QJsonDocument(value.toObject()).toJson();
}

} // namespace

// Profiles into and out of interchange files.
class ProfileImportTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;

    ObjectContext &context() { return *m_store->mainContext(); }

    Profile *add(const QString &name)
    {
        Profile *p = context().insertProfile();
        p->setName(name);
        p->setAddress(u"h.example"_s);
        p->setNote(u"kept here"_s);
        return p;
    }

    QList<const Profile *> live() const
    {
        QList<const Profile *> all;
        for (const Profile *p : m_store->mainContext()->profiles())
            all.append(p);
        return all;
    }

private Q_SLOTS:
    void init() { m_store = std::move(PersistenceController::openInMemory()).value(); }

    void anExportedLibraryComesBackWhole()
    {
        Profile *p = add(u"db"_s);
        Forwarding *dynamic = context().insertForwarding();
        dynamic->edit([](ForwardingData &d) {
            d.type = qint16(ForwardingType::dynamic);
            d.bindPort = 1080;
            d.targetAddress = u"ignored"_s;
        });
        dynamic->setProfile(p);
        Tag *tag = context().insertTag();
        tag->edit([](TagData &d) { d.name = u"prod"_s; });
        p->addTag(tag);
        p->setDeletedOn(QDateTime(QDate(2026, 12, 1), QTime(10, 0, 0, 250), Qt::UTC));
        QCOMPARE(context().save(), std::nullopt);

        const QByteArray document = exportDocument(live());
        const QJsonObject root = QJsonDocument::fromJson(document).object();
        QCOMPARE(root.value(u"appID"_s).toString(), u"io.vellssh.VellSSH"_s);
        const QJsonObject forwarding = root.value(u"profiles"_s)[0][u"forwardings"_s][0].toObject();
        QCOMPARE(forwarding.value(u"type"_s).toString(), u"dynamic"_s);
        QVERIFY(!forwarding.contains(u"targetAddress"_s));

        const QString path = writeFile(u"library.velltunnel"_s, document);
        init();
        const auto result = importProfiles(path, context(), ConflictPolicy::ask);
        QVERIFY(result);
        QCOMPARE(result->message(), u"1 items was added."_s);
        QCOMPARE(context().profiles().size(), 1);
        const Profile *back = context().profiles().first();
        QCOMPARE(back->name(), u"db"_s);
        QCOMPARE(back->deletedOn(), QDateTime(QDate(2026, 12, 1), QTime(10, 0, 0, 250), Qt::UTC));
        QCOMPARE(back->forwardings().size(), 1);
        QCOMPARE(back->forwardings().first()->kind(), ForwardingType::dynamic);
        QCOMPARE(back->tags().size(), 1);
        QCOMPARE(back->tags().first()->data().name, u"prod"_s);
        QCOMPARE(exportDocument(live()), document);
    }

    void conflictsFollowThePolicyOrTheAnswers()
    {
        QList<Profile *> existing;
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
            existing.append(add(name));
        QCOMPARE(context().save(), std::nullopt);
        QJsonArray profiles =
            QJsonDocument::fromJson(exportDocument(live())).object().value(u"profiles"_s).toArray();
        for (qsizetype i = 0; i < profiles.size(); ++i) {
            QJsonObject p = profiles[i].toObject();
            p.remove(u"note"_s);
            profiles[i] = p;
        }
        profiles.append(QJsonObject{{u"name"_s, u"new one"_s}, {u"address"_s, u"n"_s}});
        profiles.append(QJsonObject{{u"name"_s, u"new two"_s}, {u"address"_s, u"n"_s}});
        profiles.append(QJsonObject{{u"name"_s, u"no address"_s}});
        const QString path =
            writeFile(u"three.velltunnel"_s, json(QJsonObject{{u"hosts"_s, profiles}}));

        auto skipped = importProfiles(path, context(), ConflictPolicy::skipAll);
        QCOMPARE(skipped->message(), u"2 items was added, 4 items were skipped."_s);
        QCOMPARE(context().undoStack()->undoActionName(), u"Import from three.velltunnel"_s);
        QCOMPARE(existing[0]->note(), u"kept here"_s);

        // Asked once; "Apply to All" replaces the rest of this run too, and the file's missing
        // note clears the stored one. Profiles without a uuid come in as new copies again.
        QStringList asked;
        auto replaced = importProfiles(path, context(), ConflictPolicy::ask,
                                       [&](const QString &name, bool offered) {
                                           asked.append(name);
                                           return ConflictDecision{true, offered};
                                       });
        QCOMPARE(asked, QStringList{u"a"_s});
        QCOMPARE(replaced->message(),
                 u"2 items was added, 3 items were replaced, 1 items were skipped."_s);
        QCOMPARE(existing[2]->note(), std::nullopt);
        QCOMPARE(context().profiles().size(), 7);
        context().undo();
        QCOMPARE(context().profiles().size(), 5);
        QCOMPARE(existing[2]->note(), u"kept here"_s);
    }

    // Other writers go on while the question waits for its answer (also on the command line,
    // which merges nothing by itself): a profile they deleted meanwhile is not "replaced" but
    // comes back as new, whole.
    void aProfileDeletedElsewhereDuringTheQuestionComesBackAsNew()
    {
        const QString path = QDir::tempPath() + u"/asked.sqlite"_s;
        auto store = std::move(PersistenceController::open(StoreLocation::file(path))).value();
        ObjectContext &ctx = *store->mainContext();
        for (const QString &name : {u"a"_s, u"b"_s}) {
            Profile *p = ctx.insertProfile();
            p->setName(name);
            p->setAddress(u"h.example"_s);
            Forwarding *socks = ctx.insertForwarding();
            socks->edit([](ForwardingData &d) {
                d.type = qint16(ForwardingType::dynamic);
                d.bindPort = 1080;
            });
            socks->setProfile(p);
        }
        QCOMPARE(ctx.save(), std::nullopt);
        const QList<Profile *> both = ctx.profiles();
        const QString file =
            writeFile(u"both.velltunnel"_s, exportDocument({both.cbegin(), both.cend()}));

        const auto result =
            importProfiles(file, ctx, ConflictPolicy::ask, [&](const QString &, bool offered) {
                auto cli =
                    std::move(PersistenceController::open(StoreLocation::file(path), u"cli"_s))
                        .value();
                ObjectContext &other = *cli->mainContext();
                for (Profile *p : other.profiles())
                    other.deleteObject(p);
                [&] { QCOMPARE(other.save(), std::nullopt); }();
                return ConflictDecision{true, offered};
            });
        QVERIFY(result);
        QCOMPARE(result->message(), u"2 items was added."_s);
        QCOMPARE(ctx.profiles().size(), 2);
        for (const Profile *p : ctx.profiles())
            QCOMPARE(p->forwardings().size(), 1);
        const auto reopened =
            std::move(PersistenceController::open(StoreLocation::file(path), u"cli"_s)).value();
        QCOMPARE(reopened->mainContext()->profiles().size(), 2);
        QCOMPARE(reopened->mainContext()->forwardings().size(), 2);
    }

    void importedRecordsStartFromTheirValuesAtCreation()
    {
        const QJsonObject broken{
            {u"uuid"_s, u"not a uuid"_s},
            {u"name"_s, u"broken uuid"_s},
            {u"address"_s, u"h"_s},
            {u"retryAttempts"_s, u"many"_s},
            {u"forwardings"_s, QJsonArray{QJsonObject{{u"uuid"_s, 42},
                                                      {u"type"_s, u"local"_s},
                                                      {u"bindPort"_s, 8080},
                                                      {u"targetAddress"_s, u"t"_s},
                                                      {u"targetPort"_s, 80}}}},
            {u"tags"_s, QJsonArray{QJsonObject{{u"uuid"_s, u"{broken}"_s}, {u"name"_s, u"t"_s}}}}};
        const QString path = writeFile(u"fresh.velltunnel"_s, json(QJsonArray{broken, broken}));
        QCOMPARE(importProfiles(path, context(), ConflictPolicy::replaceAll)->message(),
                 u"2 items was added."_s);
        QCOMPARE(context().profiles().size(), 2);
        for (const Profile *profile : context().profiles()) {
            QVERIFY(profile->uuid());
            QCOMPARE(profile->data().retryAttempts, 999);
            QCOMPARE(profile->forwardings().size(), 1);
            QVERIFY(profile->forwardings().first()->data().uuid);
            QVERIFY(profile->forwardings().first()->data().enabled);
            QCOMPARE(profile->tags().size(), 1);
            QVERIFY(profile->tags().first()->data().uuid);
        }
        QVERIFY(context().profiles().first()->uuid() != context().profiles().last()->uuid());

        // A replaced profile keeps what the file holds no valid value for.
        QJsonObject again = profileJSON(*context().profiles().first());
        again.insert(u"retryAttempts"_s, 2.5);
        const auto replaced =
            importProfiles(writeFile(u"again.velltunnel"_s, json(QJsonArray{again})), context(),
                           ConflictPolicy::replaceAll);
        QCOMPARE(replaced->message(), u"0 items was added, 1 items were replaced."_s);
        QCOMPARE(context().profiles().first()->data().retryAttempts, 999);
        QVERIFY(context().profiles().first()->uuid());
    }

    void aProfileThatCannotBeStoredIsSkippedWithTheReason_data()
    {
        QJsonValue deep = QJsonObject{{u"leaf"_s, true}};
        for (int level = 0; level < 64; ++level)
            deep = QJsonObject{{u"inner"_s, deep}};
        QTest::addColumn<QJsonObject>("members");
        QTest::addColumn<QString>("reason");
        QTest::newRow("priority that would pin")
            << QJsonObject{{u"priority"_s, 98303}}
            << u"“wrapped” was skipped: “priority” is 98303, outside -32768 to 32767."_s;
        QTest::newRow("negative retries")
            << QJsonObject{{u"retryAttempts"_s, -40000}}
            << u"“wrapped” was skipped: “retryAttempts” is -40000, outside -32768 to 32767."_s;
        QTest::newRow("bind port past 32 bits")
            << QJsonObject{{u"forwardings"_s,
                            QJsonArray{QJsonObject{{u"type"_s, u"dynamic"_s},
                                                   {u"bindPort"_s, 4294967297.0}}}}}
            << u"“wrapped” was skipped: a forwarding’s “bindPort” is 4294967297, outside "
               "-2147483648 to 2147483647."_s;
        QTest::newRow("port past the last")
            << QJsonObject{{u"port"_s, 70000}}
            << u"“wrapped” was skipped: “port” is 70000, outside 0 to 65535."_s;
        QTest::newRow("negative port") << QJsonObject{{u"port"_s, -1}}
                                       << u"“wrapped” was skipped: “port” is -1, outside 0 to "
                                          "65535."_s;
        QTest::newRow("bind port past the last")
            << QJsonObject{{u"forwardings"_s, QJsonArray{QJsonObject{{u"type"_s, u"local"_s},
                                                                     {u"bindPort"_s, 123456},
                                                                     {u"targetAddress"_s, u"t"_s},
                                                                     {u"targetPort"_s, 80}}}}}
            << u"“wrapped” was skipped: a forwarding’s “bindPort” is 123456, outside 1 to "
               "65535."_s;
        QTest::newRow("target port of none")
            << QJsonObject{{u"forwardings"_s, QJsonArray{QJsonObject{{u"type"_s, u"local"_s},
                                                                     {u"enabled"_s, true},
                                                                     {u"bindPort"_s, 8080},
                                                                     {u"targetAddress"_s, u"t"_s},
                                                                     {u"targetPort"_s, 0}}}}}
            << u"“wrapped” was skipped: a forwarding’s “targetPort” is 0, outside 1 to 65535."_s;
        QTest::newRow("target ssh would read as an option")
            << QJsonObject{{u"forwardings"_s,
                            QJsonArray{QJsonObject{{u"type"_s, u"local"_s},
                                                   {u"bindPort"_s, 7001},
                                                   {u"targetAddress"_s, u"-oProxyCommand=x"_s},
                                                   {u"targetPort"_s, 22}}}}}
            << u"“wrapped” was skipped: a forwarding’s “targetAddress” is not an address that "
               "ssh takes."_s;
        QTest::newRow("bind address with a line break")
            << QJsonObject{{u"forwardings"_s, QJsonArray{QJsonObject{{u"type"_s, u"dynamic"_s},
                                                                     {u"bindAddress"_s, u"a\nb"_s},
                                                                     {u"bindPort"_s, 1080}}}}}
            << u"“wrapped” was skipped: a forwarding’s “bindAddress” is not an address that ssh "
               "takes."_s;
        QTest::newRow("deep info dictionary")
            << QJsonObject{{u"infoDictionary"_s, deep}}
            << u"“wrapped” was skipped: “infoDictionary” nests deeper than 64 levels."_s;
        QTest::newRow("deep shell options")
            << QJsonObject{{u"shellOptions"_s, QJsonObject{{u"list"_s, QJsonArray{deep}}}}}
            << u"“wrapped” was skipped: “shellOptions” nests deeper than 64 levels."_s;
        QTest::newRow("user read as an option")
            << QJsonObject{{u"user"_s, u"-oProxyCommand=x"_s}}
            << u"“wrapped” was skipped: the user starts with “-”, which ssh would read as an "
               "option."_s;
        QTest::newRow("jump host read as an option")
            << QJsonObject{{u"options"_s, QJsonObject{{u"ProxyJump"_s, u"-oProxyCommand=x"_s}}}}
            << u"“wrapped” was skipped: the jump host starts with “-”, which ssh would read as an "
               "option."_s;
        QTest::newRow("NUL in the host")
            << QJsonObject{{u"address"_s, u"h\0x"_s}}
            << u"“wrapped” was skipped: the host contains a control character."_s;
        QTest::newRow("newline in an option")
            << QJsonObject{{u"options"_s, QJsonObject{{u"User"_s, u"me\nProxyCommand x"_s}}}}
            << u"“wrapped” was skipped: the option “User” contains a control character."_s;
        QTest::newRow("note too long")
            << QJsonObject{{u"note"_s, QString(65537, u'n')}}
            << u"“wrapped” was skipped: the note is longer than 65,536 characters."_s;
    }
    void aProfileThatCannotBeStoredIsSkippedWithTheReason()
    {
        QFETCH(QJsonObject, members);
        QFETCH(QString, reason);
        QJsonObject profile{{u"name"_s, u"wrapped"_s}, {u"address"_s, u"h"_s}};
        for (auto it = members.begin(); it != members.end(); ++it)
            profile.insert(it.key(), it.value());
        const auto result =
            importProfiles(writeFile(u"wrapped.velltunnel"_s, json(QJsonArray{profile})), context(),
                           ConflictPolicy::replaceAll);
        QCOMPARE(result->message(), u"0 items was added, 1 items were skipped."_s);
        QCOMPARE(result->problems, QStringList{reason});
        QVERIFY(context().profiles().isEmpty());
        QVERIFY(context().forwardings().isEmpty());
    }

    void portsThatAreNotUsedDoNotStopTheImport_data()
    {
        QTest::addColumn<QJsonObject>("forwarding");
        QTest::newRow("disabled") << QJsonObject{{u"type"_s, u"local"_s},
                                                 {u"enabled"_s, false},
                                                 {u"bindPort"_s, 123456},
                                                 {u"targetAddress"_s, u"t"_s},
                                                 {u"targetPort"_s, -1}};
        QTest::newRow("remote without a target") << QJsonObject{{u"type"_s, u"remote"_s},
                                                                {u"bindPort"_s, 9000},
                                                                {u"targetAddress"_s, u""_s},
                                                                {u"targetPort"_s, 0}};
        QTest::newRow("socket path") << QJsonObject{{u"type"_s, u"local"_s},
                                                    {u"bindAddress"_s, u"/run/app.sock"_s},
                                                    {u"bindPort"_s, 0},
                                                    {u"targetAddress"_s, u"t"_s},
                                                    {u"targetPort"_s, 80}};
    }
    void portsThatAreNotUsedDoNotStopTheImport()
    {
        QFETCH(QJsonObject, forwarding);
        const QJsonObject profile{{u"name"_s, u"kept"_s},
                                  {u"address"_s, u"h"_s},
                                  {u"port"_s, 0},
                                  {u"forwardings"_s, QJsonArray{forwarding}}};
        const auto result =
            importProfiles(writeFile(u"unused.velltunnel"_s, json(QJsonArray{profile})), context(),
                           ConflictPolicy::replaceAll);
        QCOMPARE(result->message(), u"1 items was added."_s);
        QCOMPARE(context().forwardings().size(), 1);
    }

    // A profile that lists one forwarding uuid twice keeps both forwardings.
    void aForwardingListedTwiceStaysTwo()
    {
        const QString uuid = QUuid::createUuid().toString();
        auto forwarding = [&](int port) {
            return QJsonObject{{u"uuid"_s, uuid},
                               {u"type"_s, u"local"_s},
                               {u"bindPort"_s, port},
                               {u"targetAddress"_s, u"t"_s},
                               {u"targetPort"_s, 80}};
        };
        const QJsonObject profile{
            {u"name"_s, u"twice"_s},
            {u"address"_s, u"h"_s},
            {u"forwardings"_s, QJsonArray{forwarding(7001), forwarding(7002)}}};
        QCOMPARE(importProfiles(writeFile(u"twice.velltunnel"_s, json(QJsonArray{profile})),
                                context(), ConflictPolicy::replaceAll)
                     ->message(),
                 u"1 items was added."_s);
        QSet<qint64> ports;
        for (const Forwarding *f : context().forwardings())
            ports.insert(f->data().bindPort);
        QCOMPARE(ports, (QSet<qint64>{7001, 7002}));
    }

    void aCopyUnderAnotherUUIDLeavesTheOriginalItsForwardings_data()
    {
        QTest::addColumn<QJsonValue>("uuid");
        QTest::newRow("another uuid") << QJsonValue(QUuid::createUuid().toString());
        QTest::newRow("no uuid") << QJsonValue(u"not-a-uuid"_s);
    }
    void aCopyUnderAnotherUUIDLeavesTheOriginalItsForwardings()
    {
        QFETCH(QJsonValue, uuid);
        Profile *original = add(u"p1"_s);
        Forwarding *own = context().insertForwarding();
        own->edit([](ForwardingData &d) {
            d.bindPort = 18100;
            d.targetAddress = u"127.0.0.1"_s;
            d.targetPort = 18000;
        });
        own->setProfile(original);
        QCOMPARE(context().save(), std::nullopt);
        QJsonObject copy = profileJSON(*original);
        copy.insert(u"uuid"_s, uuid);
        copy.insert(u"name"_s, u"p1-copy"_s);
        const QString path = writeFile(u"copy.velltunnel"_s, json(QJsonArray{copy}));
        QCOMPARE(importProfiles(path, context(), ConflictPolicy::skipAll)->message(),
                 u"1 items was added."_s);

        QCOMPARE(original->forwardings(), QList<Forwarding *>{own});
        QCOMPARE(own->data().bindPort, 18100);
        QSet<QUuid> forwardingUUIDs;
        for (const Profile *profile : context().profiles()) {
            QCOMPARE(profile->forwardings().size(), 1);
            const ForwardingData data = profile->forwardings().first()->data();
            QCOMPARE(data.targetPort, 18000);
            forwardingUUIDs.insert(*data.uuid);
        }
        QCOMPARE(forwardingUUIDs.size(), 2);
    }

    void aNewcomerUnderATakenNameGetsANumber()
    {
        add(u"web"_s);
        add(u"web 2"_s);
        Profile *replaced = add(u"api"_s);
        QCOMPARE(context().save(), std::nullopt);
        QJsonObject upper = profileJSON(*replaced);
        upper.insert(u"uuid"_s, QUuid::createUuid().toString());
        upper.insert(u"name"_s, u"WEB"_s);
        QJsonObject trashed = upper;
        trashed.insert(u"uuid"_s, QUuid::createUuid().toString());
        trashed.insert(u"deletedOn"_s, u"2026-01-01T00:00:00.000Z"_s);
        QJsonObject renaming = profileJSON(*replaced);
        renaming.insert(u"name"_s, u"web 2"_s);
        const QString path =
            writeFile(u"taken.velltunnel"_s, json(QJsonArray{upper, trashed, renaming}));

        const auto result = importProfiles(path, context(), ConflictPolicy::replaceAll);
        QCOMPARE(result->message(), u"2 items was added, 1 items were replaced."_s);
        QCOMPARE(result->renamed,
                 (QStringList{u"“WEB” was added as “WEB 3”: the name is taken."_s,
                              u"“web 2” was imported as “web 2 2”: the name is taken."_s}));
        QStringList names;
        for (const Profile *profile : context().profiles())
            names.append(*profile->name());
        QCOMPARE(names, (QStringList{u"web"_s, u"web 2"_s, u"web 2 2"_s, u"WEB 3"_s, u"WEB"_s}));
        for (const Profile *profile : context().profiles())
            QVERIFY(profile->isInTrash() || !ProfileValidationForm::checkNameAvailable(
                                                *profile->name(), profile, context()));

        // A pasted newcomer too.
        TransferableProfile pasted{upper, {}};
        pasted.json.insert(u"uuid"_s, QUuid::createUuid().toString());
        QCOMPARE(importTransferables({pasted}, context()), std::nullopt);
        QCOMPARE(context().profiles().last()->name(), u"WEB 4"_s);
    }

    void theDeepestDictionaryThatImportsStillExports()
    {
        QJsonValue deep = QJsonObject{{u"leaf"_s, true}};
        for (int level = 0; level < 63; ++level)
            deep = QJsonObject{{u"inner"_s, deep}};
        const QJsonObject profile{
            {u"name"_s, u"deep"_s}, {u"address"_s, u"h"_s}, {u"infoDictionary"_s, deep}};
        const QString path = writeFile(u"deep.velltunnel"_s, json(QJsonArray{profile}));
        QCOMPARE(importProfiles(path, context(), ConflictPolicy::replaceAll)->message(),
                 u"1 items was added."_s);
        const QJsonDocument exported = QJsonDocument::fromJson(exportDocument(live()));
        QVERIFY(QRegularExpression(u"^\\d+\\.\\d+\\.\\d+$"_s)
                    .match(exported[u"appVersion"_s].toString())
                    .hasMatch());
        QCOMPARE(exported[u"profiles"_s][0][u"infoDictionary"_s].toObject(), deep.toObject());
    }

    void pastedProfilesAreCopiesOrImports()
    {
        Profile *db = add(u"db"_s);
        QCOMPARE(context().save(), std::nullopt);
        const TransferableProfile own = TransferableProfile::from(*db, {});
        QCOMPARE(own.json.value(u"transferId"_s).toString(), transferId());
        QVERIFY(own.profileCommand.startsWith(u"ssh "_s));
        const auto data = mimeData({own});
        QCOMPARE(data->text(), own.profileCommand);
        QCOMPARE(transferables(*data), QList<TransferableProfile>{own});

        // From this run and still here: a copy.
        QCOMPARE(importTransferables({own}, context()), std::nullopt);
        QCOMPARE(context().profiles().size(), 2);
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste “db Copy”"_s);

        // From elsewhere: imported by uuid, onto the tag it was dropped on; one already here is
        // skipped unless the question says otherwise.
        Tag *tag = context().insertTag();
        tag->edit([](TagData &d) { d.name = u"dropped"_s; });
        TransferableProfile foreign = own;
        foreign.json.insert(u"transferId"_s, u"another run"_s);
        TransferableProfile fresh = foreign;
        fresh.json.insert(u"uuid"_s, QUuid::createUuid().toString());
        fresh.json.insert(u"name"_s, u"web"_s);
        QCOMPARE(importTransferables({foreign, fresh}, context(), tag), std::nullopt);
        QCOMPARE(context().profiles().size(), 3);
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste “web”"_s);
        QVERIFY(!db->hasTag(tag));
        QCOMPARE(context().profiles().last()->tags(), QList<Tag *>{tag});

        int asked = 0;
        foreign.json.insert(u"note"_s, u"from afar"_s);
        QCOMPARE(importTransferables({foreign, fresh}, context(), nullptr,
                                     [&](const QString &, bool offered) {
                                         ++asked;
                                         return ConflictDecision{true, offered};
                                     }),
                 std::nullopt);
        QCOMPARE(asked, 1);
        QCOMPARE(db->note(), u"from afar"_s);
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste Profiles"_s);
    }

    void aBrokenFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("not JSON") << QByteArray("{\"profiles\": [") << u"is not JSON"_s;
        QTest::newRow("no list") << QByteArray("{\"items\": []}") << u"no list of profiles"_s;
    }
    void aBrokenFileChangesNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        add(u"here"_s);
        QCOMPARE(context().save(), std::nullopt);
        const auto result = importProfiles(writeFile(u"broken.velltunnel"_s, bytes), context(),
                                           ConflictPolicy::replaceAll);
        QVERIFY(!result);
        QVERIFY2(result.error().message.contains(error), qPrintable(result.error().message));
        QVERIFY(result.error().message.startsWith(u"broken.velltunnel: "_s));
        QVERIFY(!context().hasChanges());
        QVERIFY(!importProfiles(QDir::tempPath() + u"/missing.velltunnel"_s, context(),
                                ConflictPolicy::skipAll));
    }

    // Only a regular file of a sane size is read: a device or a FIFO would be read without end
    // or wait for a writer.
    void aFileThatIsNoSaneImportIsNotRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("an endless device") << u"/dev/zero"_s << u"not a regular file"_s;
        QTest::newRow("a link to an endless device") << u"link"_s << u"not a regular file"_s;
        QTest::newRow("a FIFO") << u"fifo"_s << u"not a regular file"_s;
        QTest::newRow("a file past the limit") << u"large"_s << u"larger than"_s;
    }
    void aFileThatIsNoSaneImportIsNotRead()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        add(u"here"_s);
        QCOMPARE(context().save(), std::nullopt);
        QTemporaryDir folder;
        QString path = folder.filePath(u"library.velltunnel"_s);
        if (kind == u"link"_s) {
            QVERIFY(QFile::link(u"/dev/zero"_s, path));
        } else if (kind == u"fifo"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"large"_s) {
            QFile large(path);
            QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(maxImportBytes + 1));
        } else {
            path = kind;
        }
        const auto result = importProfiles(path, context(), ConflictPolicy::replaceAll);
        QVERIFY(!result);
        QVERIFY2(
            result.error().message.startsWith(u"The file “%1” could not be read: "_s.arg(path)),
            qPrintable(result.error().message));
        QVERIFY2(result.error().message.contains(reason), qPrintable(result.error().message));
        QVERIFY(!context().hasChanges());
        QCOMPARE(live().size(), 1);
    }
};

VELL_TEST_MAIN(ProfileImportTest)
#include "tst_profileimport.moc"
