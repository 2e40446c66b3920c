#include "formatstyles.h"
#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "testenvironment.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

class FormatsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portStyle()
    {
        using Style = PortNumberFormatStyle<qint32>;
        QCOMPARE(Style::format(0), QString());
        QCOMPARE(Style::format(70000), QString());
        QCOMPARE(Style::format(-1), QString());
        QCOMPARE(Style::format(65535), u"65535"_s);
        QCOMPARE(Style::parse(u"22"_s), 22);
        QCOMPARE(Style::parse(u"abc"_s), 0);
        QCOMPARE(Style::parse(u"65536"_s), 0);
        QCOMPARE(Style::parse(u""_s), 0);
        QCOMPARE(TrimmedFormatStyle::parse(u" \n db  prod \t"_s), u"db  prod"_s);
    }

    void requiredFieldsHaveTheirMessages()
    {
        ProfileValidationForm form;
        QSignalSpy validity(&form, &ProfileValidationForm::validityChanged);
        QVERIFY(!form.isValid());
        QCOMPARE(form.messages(), (QStringList{u"Descriptive name is required."_s,
                                               u"Hostname or IP address is required."_s,
                                               u"Username is required."_s}));
        form.setText(ProfileValidationForm::Field::profileName, u"db"_s);
        form.setText(ProfileValidationForm::Field::hostName, u"   "_s);
        form.setText(ProfileValidationForm::Field::loginName, u"me"_s);
        QCOMPARE(form.message(ProfileValidationForm::Field::hostName),
                 u"Hostname or IP address is required."_s);
        QCOMPARE(form.message(ProfileValidationForm::Field::profileName), QString());
        form.setText(ProfileValidationForm::Field::hostName, u"h"_s);
        QVERIFY(form.isValid());
        QCOMPARE(validity.count(), 1);
    }

    void forwardingValues_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("bind");
        QTest::addColumn<int>("bindPort");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("targetPort");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("local") << 0 << u""_s << 8080 << u"10.0.0.5"_s << 80 << true;
        QTest::newRow("local without target") << 0 << u""_s << 8080 << u""_s << 80 << false;
        QTest::newRow("local port 0") << 0 << u""_s << 0 << u"h"_s << 80 << false;
        QTest::newRow("local target port too big") << 0 << u""_s << 1 << u"h"_s << 65536 << false;
        QTest::newRow("local socket to socket")
            << 0 << u"~/a.sock"_s << 0 << u"/b.sock"_s << 0 << true;
        QTest::newRow("remote") << 1 << u""_s << 9000 << u"localhost"_s << 3000 << true;
        QTest::newRow("remote without target") << 1 << u""_s << 9000 << u""_s << 0 << true;
        QTest::newRow("remote target port only") << 1 << u""_s << 9000 << u""_s << 22 << false;
        QTest::newRow("dynamic") << 2 << u"127.0.0.1"_s << 1080 << u""_s << 0 << true;
        QTest::newRow("dynamic on a socket") << 2 << u"/s.sock"_s << 0 << u""_s << 0 << false;
        QTest::newRow("reverse dynamic port 0") << 3 << u""_s << 0 << u""_s << 0 << false;
        QTest::newRow("unknown kind") << 7 << u""_s << 1 << u"h"_s << 1 << false;
    }
    void forwardingValues()
    {
        QFETCH(int, type);
        QFETCH(QString, bind);
        QFETCH(int, bindPort);
        QFETCH(QString, target);
        QFETCH(int, targetPort);
        ForwardingData data;
        data.type = qint16(type);
        data.bindAddress = bind;
        data.bindPort = bindPort;
        data.targetAddress = target;
        data.targetPort = targetPort;
        QTEST(ProfileValidationForm::isAcceptable(data), "acceptable");
    }

    void saveIsRefusedWithTheEditorsMessages()
    {
        auto store = std::move(PersistenceController::openInMemory()).value();
        ObjectContext *ctx = store->mainContext();
        auto make = [&](const QString &name) {
            Profile *p = ctx->insertProfile();
            p->setName(name);
            p->setAddress(u"h"_s);
            p->setUser(u"u"_s);
            return p;
        };
        Profile *db = make(u"db"_s);
        QVERIFY(!ProfileValidationForm::validateForSave(*db, *ctx));

        Profile *clash = make(u" DB "_s);
        const Status taken = ProfileValidationForm::validateForSave(*clash, *ctx);
        QVERIFY(taken);
        QCOMPARE(taken->message, u"The name “DB” is already taken"_s);
        QCOMPARE(taken->recoverySuggestion, u"Please choose a different name."_s);
        moveToTrash({db});
        QVERIFY(!ProfileValidationForm::validateForSave(*clash, *ctx));

        Forwarding *broken = ctx->insertForwarding();
        broken->setProfile(clash);
        QCOMPARE(ProfileValidationForm::validateForSave(*clash, *ctx)->message,
                 u"Invalid port forwarding values"_s);
        broken->edit([](ForwardingData &d) { d.enabled = false; });
        QVERIFY(!ProfileValidationForm::validateForSave(*clash, *ctx));

        clash->setUser(std::nullopt);
        const Status missing = ProfileValidationForm::validateForSave(*clash, *ctx);
        QCOMPARE(missing->message, u"Username is required."_s);
        QCOMPARE(missing->recoverySuggestion,
                 u"Please check and fill in the fields marked in red."_s);
    }
};

VELL_TEST_MAIN(FormatsTest)
#include "tst_formats.moc"
