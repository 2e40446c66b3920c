#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "tag.h"
#include "testenvironment.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

class RecordsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    ObjectContext *context() { return m_store->mainContext(); }

private Q_SLOTS:
    void init() { m_store = std::move(PersistenceController::openInMemory()).value(); }
    void cleanup() { m_store.reset(); }

    void newRecordsGetCreationValues()
    {
        Profile *profile = context()->insertProfile();
        QVERIFY(profile->uuid().has_value());
        QCOMPARE(profile->name(), u"Unnamed"_s);
        QCOMPARE(profile->retryAttempts(), 999);
        const OptionDictionary defaults{{u"ExitOnForwardFailure"_s, u"yes"_s},
                                        {u"ServerAliveInterval"_s, u"15"_s},
                                        {u"ServerAliveCountMax"_s, u"3"_s}};
        QCOMPARE(profile->sshOptions(), defaults);

        Forwarding *forwarding = context()->insertForwarding();
        QVERIFY(forwarding->uuid().has_value());
        QVERIFY(forwarding->enabled());
        QVERIFY(context()->insertTag()->uuid().has_value());
        QVERIFY(context()->insertProfile()->uuid() != profile->uuid());
    }

    void recordInsertedWithUuidKeepsItsValues()
    {
        ProfileData data;
        data.uuid = QUuid::createUuid();
        data.name = u"kept"_s;
        data.retryAttempts = 3;
        Profile *profile = context()->insertProfile(data);
        QCOMPARE(profile->data(), data);
        QVERIFY(!profile->options().has_value());
    }

    void pinnedIsExactlyTheTopPriority()
    {
        Profile *profile = context()->insertProfile();
        for (qint16 priority : {qint16(32766), qint16(-1), qint16(0)}) {
            profile->setPriority(priority);
            QVERIFY(!profile->pinned());
        }
        profile->setPinned(true);
        QCOMPARE(profile->priority(), Profile::pinnedPriority);
        profile->setPriority(12);
        profile->setPinned(false);
        QCOMPARE(profile->priority(), 0);
    }

    void optionSettersNeverStoreEmptyValues()
    {
        Profile *profile = context()->insertProfile();
        profile->setStringOption(u""_s, u"ServerAliveInterval"_s);
        QVERIFY(!profile->sshOptions().contains(u"ServerAliveInterval"_s));
        profile->setYesNoOption(true, u"Compression"_s);
        QCOMPARE(profile->sshOptions().value(u"Compression"_s), u"yes"_s);
        profile->setYesNoOption(false, u"Compression"_s);
        QCOMPARE(profile->sshOptions().value(u"Compression"_s), u"no"_s);
        profile->setYesNoOption(std::nullopt, u"Compression"_s);
        QVERIFY(!profile->sshOptions().contains(u"Compression"_s));

        // An empty value that came in some other way is dropped by the next setter.
        profile->edit([](ProfileData &d) { d.options->insert(u"Stale"_s, u""_s); });
        profile->setStringOption(u"x"_s, u"User"_s);
        QVERIFY(!profile->options()->contains(u"Stale"_s));
    }

    void unusableOptionsAreReplacedByAnEmptyDictionary()
    {
        Profile *profile = context()->insertProfile();
        profile->edit([](ProfileData &d) { d.options = QJsonObject{{u"Port"_s, 22}}; });
        QVERIFY(profile->sshOptions().isEmpty());
        QCOMPARE(profile->options(), QJsonObject());
        profile->edit([](ProfileData &d) { d.options.reset(); });
        QVERIFY(profile->sshOptions().isEmpty());
        QCOMPARE(profile->options(), QJsonObject());
    }

    void unixSocketUse_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("bind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("socket");
        QTest::newRow("local tilde slash") << 0 << u"~/sock"_s << u""_s << true;
        QTest::newRow("local tilde name") << 0 << u"~user/sock"_s << u""_s << false;
        QTest::newRow("local absolute") << 0 << u"/run/x.sock"_s << u""_s << true;
        QTest::newRow("local target path") << 0 << u"127.0.0.1"_s << u"/x.sock"_s << false;
        QTest::newRow("unknown kind counts as local") << 9 << u"/x.sock"_s << u""_s << true;
        QTest::newRow("remote target path") << 1 << u""_s << u"/x.sock"_s << true;
        QTest::newRow("remote bind path") << 1 << u"/x.sock"_s << u"h"_s << false;
        QTest::newRow("dynamic path") << 2 << u"/x.sock"_s << u""_s << false;
        QTest::newRow("reverse dynamic path") << 3 << u"/x.sock"_s << u"/y"_s << false;
    }
    void unixSocketUse()
    {
        QFETCH(int, type);
        QFETCH(QString, bind);
        QFETCH(QString, target);
        ForwardingData data;
        data.type = qint16(type);
        data.bindAddress = bind;
        data.targetAddress = target;
        QTEST(usesUnixSocket(data), "socket");
    }

    void forwardingTypeNames()
    {
        QCOMPARE(forwardingTypeFromInterchangeName(u"reverseDynamic"_s),
                 ForwardingType::reverseDynamic);
        QCOMPARE(forwardingTypeFromInterchangeName(u"Remote"_s), ForwardingType::local);
        QCOMPARE(forwardingTypeFromInterchangeName(u"tunnel"_s), ForwardingType::local);
        QVERIFY(!forwardingTypeFromRaw(4));
        QVERIFY(!forwardingTypeFromRaw(-1));
        QCOMPARE(forwardingTypeOrLocal(7), ForwardingType::local);
    }

    void relationshipsKeepBothSides()
    {
        Profile *profile = context()->insertProfile();
        Forwarding *forwarding = context()->insertForwarding();
        Tag *tag = context()->insertTag();
        forwarding->setProfile(profile);
        profile->addTag(tag);
        profile->addTag(tag);
        QCOMPARE(profile->forwardings(), QList<Forwarding *>{forwarding});
        QCOMPARE(tag->profiles(), QList<Profile *>{profile});
        QCOMPARE(profile->tags().size(), 1);
        profile->removeTag(tag);
        QVERIFY(tag->profiles().isEmpty());
        Profile *other = context()->insertProfile();
        forwarding->setProfile(other);
        QVERIFY(profile->forwardings().isEmpty());
        QCOMPARE(forwarding->profile(), other);
    }
};

VELL_TEST_MAIN(RecordsTest)
#include "tst_records.moc"
