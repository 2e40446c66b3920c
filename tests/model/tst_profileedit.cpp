#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileedit.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "tag.h"
#include "testenvironment.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

class ProfileEditTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    ObjectContext *ctx() { return m_store->mainContext(); }

    Profile *add(const QString &name)
    {
        Profile *profile = ctx()->insertProfile();
        profile->setName(name);
        profile->setAddress(u"host"_s);
        profile->setUser(u"me"_s);
        return profile;
    }

    static ForwardingData local(qint32 port)
    {
        ForwardingData data;
        data.type = qint16(ForwardingType::local);
        data.enabled = true;
        data.bindPort = port;
        data.targetAddress = u"db"_s;
        data.targetPort = 5432;
        return data;
    }

    static QList<qint32> portsInOrder(const Profile &profile)
    {
        QList<qint32> ports;
        for (const Forwarding *forwarding : profile.sortedForwardings())
            ports.append(forwarding->bindPort());
        return ports;
    }

    static QStringList tagNames(const Profile &profile)
    {
        QStringList names;
        for (const Tag *tag : profile.tags())
            names.append(tag->name().value_or(QString()));
        return names;
    }

private Q_SLOTS:
    void init() { m_store = std::move(PersistenceController::openInMemory()).value(); }
    void cleanup() { m_store.reset(); }

    void fieldsAreTrimmedAndEmptyTextsRemove()
    {
        Profile *profile = add(u"web"_s);
        profile->setNote(u"old"_s);
        profile->setPrivateKeyName(u"id_rsa"_s);
        profile->setSSHOptions({{u"Compression"_s, u"yes"_s}, {u"ConnectTimeout"_s, u"5"_s}});
        ProfileEdit edit;
        edit.name = u"  web 2 "_s;
        edit.host = u" example.org"_s;
        edit.user = u"deploy "_s;
        edit.note = QString();
        edit.privateKeyName = QString();
        edit.certificateName = u"id_rsa-cert.pub"_s;
        edit.pinned = true;
        edit.autoConnect = true;
        edit.retryAttempts = 7;
        edit.options = {{u"Compression"_s, QString()}, {u"ServerAliveInterval"_s, u"15"_s}};
        QVERIFY(edit.apply(*ctx(), *profile));

        QCOMPARE(profile->name(), u"web 2"_s);
        QCOMPARE(profile->address(), u"example.org"_s);
        QCOMPARE(profile->user(), u"deploy"_s);
        QCOMPARE(profile->note(), std::nullopt);
        QCOMPARE(profile->privateKeyName(), std::nullopt);
        QCOMPARE(profile->certificateName(), u"id_rsa-cert.pub"_s);
        QVERIFY(profile->pinned());
        QVERIFY(profile->autoConnect());
        QCOMPARE(profile->retryAttempts(), 7);
        QCOMPARE(
            profile->optionsForReading(),
            (OptionDictionary{{u"ConnectTimeout"_s, u"5"_s}, {u"ServerAliveInterval"_s, u"15"_s}}));
        QVERIFY(!ProfileValidationForm::validateForSave(*profile, *ctx()));
    }

    void forwardingsFollowTheHighestPriority()
    {
        Profile *profile = add(u"web"_s);
        appendForwarding(*ctx(), *profile, local(1));
        Forwarding *second = appendForwarding(*ctx(), *profile, local(2));
        second->edit([](ForwardingData &d) { d.priority = 9; });
        QCOMPARE(nextForwardingPriority(*profile), 10);

        ProfileEdit edit;
        edit.forwardings = {local(3), local(4)};
        const auto applied = edit.apply(*ctx(), *profile);
        QVERIFY(applied);
        QCOMPARE(applied->forwardings.size(), 2);
        QCOMPARE(applied->forwardings[1]->priority(), 11);
        QVERIFY(applied->forwardings[0]->uuid() != applied->forwardings[1]->uuid());
        QCOMPARE(portsInOrder(*profile), (QList<qint32>{1, 2, 3, 4}));

        edit.clearForwardings = true;
        edit.forwardings = {local(5)};
        QVERIFY(edit.apply(*ctx(), *profile));
        QCOMPARE(portsInOrder(*profile), QList<qint32>{5});
        QCOMPARE(profile->forwardings().first()->priority(), 0);
        QCOMPARE(ctx()->forwardings().size(), 1);
    }

    void movingAndRemovingForwardingsRenumbers()
    {
        Profile *profile = add(u"web"_s);
        QList<Forwarding *> made;
        for (qint32 port : {1, 2, 3, 4})
            made.append(appendForwarding(*ctx(), *profile, local(port)));
        moveForwarding(*profile, made[3], 0);
        QCOMPARE(portsInOrder(*profile), (QList<qint32>{4, 1, 2, 3}));
        moveForwarding(*profile, made[0], 3);
        QCOMPARE(portsInOrder(*profile), (QList<qint32>{4, 2, 3, 1}));
        for (const Forwarding *forwarding : profile->forwardings())
            QCOMPARE(forwarding->priority(), profile->sortedForwardings().indexOf(forwarding));

        removeForwardings(*ctx(), {made[1], made[2]});
        QCOMPARE(portsInOrder(*profile), (QList<qint32>{4, 1}));
        QCOMPARE(nextForwardingPriority(*profile), 4);
    }

    void tagsAreFoundOrMadeByName()
    {
        Tag *prod = ctx()->insertTag();
        prod->setName(u"prod"_s);
        Profile *profile = add(u"web"_s);
        ProfileEdit edit;
        edit.tags = {u"prod"_s, u"new"_s, u"new"_s};
        const auto applied = edit.apply(*ctx(), *profile);
        QVERIFY(applied);
        QCOMPARE(applied->createdTags.size(), 1);
        QCOMPARE(ctx()->tags().size(), 2);
        QCOMPARE(tagNames(*profile), (QStringList{u"prod"_s, u"new"_s}));

        QVERIFY(!setTagNames(*ctx(), *profile, {u"new"_s, u"other"_s}));
        QCOMPARE(tagNames(*profile), (QStringList{u"new"_s, u"other"_s}));
        QCOMPARE(ctx()->tags().size(), 3);

        const auto blank = tagForName(*ctx(), QString());
        QVERIFY(!blank);
        QCOMPARE(blank.error().message, u"Tag names can't be blank."_s);
    }

    void aRefusedEditChangesNothing()
    {
        Profile *profile = add(u"web"_s);
        ProfileEdit edit;
        edit.name = u"renamed"_s;
        edit.forwardings = {local(1)};
        edit.tags = {u"fine"_s, QString()};
        QVERIFY(!edit.apply(*ctx(), *profile));
        QCOMPARE(profile->name(), u"web"_s);
        QVERIFY(profile->forwardings().isEmpty());
        QVERIFY(ctx()->tags().isEmpty());

        QVERIFY(setTagNames(*ctx(), *profile, {u"fine"_s, QString()}));
        QVERIFY(profile->tags().isEmpty());
        QVERIFY(ctx()->tags().isEmpty());
    }

    void keyNamesAreRelativeToTheKeyFolder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("bare name") << u"id_ed25519"_s << std::optional(u"id_ed25519"_s) << true;
        QTest::newRow("in the folder")
            << u"/keys/id_ed25519"_s << std::optional(u"id_ed25519"_s) << true;
        QTest::newRow("empty means none") << QString() << std::optional<QString>() << true;
        QTest::newRow("another folder")
            << u"/elsewhere/id_rsa"_s << std::optional<QString>() << false;
        QTest::newRow("below the folder")
            << u"/keys/old/id_rsa"_s << std::optional<QString>() << false;
    }

    void keyNamesAreRelativeToTheKeyFolder()
    {
        QFETCH(QString, file);
        QFETCH(std::optional<QString>, name);
        QFETCH(bool, accepted);
        const auto result = keyNameInFolder(file, u"/keys"_s);
        QCOMPARE(result.ok(), accepted);
        if (accepted)
            QCOMPARE(*result, name);
        else
            QCOMPARE(
                result.error().message,
                u"“%1” is not in /keys: keys are chosen by their file name there."_s.arg(file));
    }
};

QTEST_GUILESS_MAIN(ProfileEditTest)
#include "tst_profileedit.moc"
