#include "forwarding.h"
#include "forwardingtype.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "profilejson.h"
#include "tag.h"
#include "testenvironment.h"
#include "transferableprofile.h"
#include "undostack.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>

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
};

VELL_TEST_MAIN(ProfileImportTest)
#include "tst_profileimport.moc"
