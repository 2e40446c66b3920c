#include "formatstyles.h"
#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "testenvironment.h"

#include <QJsonObject>
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
        QTest::newRow("bind read as an option")
            << 0 << u"-oProxyCommand=x"_s << 1 << u"h"_s << 2 << false;
        QTest::newRow("target read as an option") << 0 << u""_s << 1 << u" -oX=y"_s << 2 << false;
        QTest::newRow("dynamic bind read as an option")
            << 2 << u"-x"_s << 1080 << u""_s << 0 << false;
        QTest::newRow("target with a newline") << 1 << u""_s << 1 << u"h\nx"_s << 2 << false;
        QTest::newRow("hyphen inside a host") << 0 << u"my-host"_s << 1 << u"a-b"_s << 2 << true;
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

    void fieldsAreCheckedBeforeTheyAreSaved_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        const QString fine;
        QTest::newRow("user read as an option")
            << u"user"_s << u"-oProxyCommand=touch /tmp/x"_s
            << u"The user starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("host read as an option")
            << u"host"_s << u"-oProxyCommand=x"_s
            << u"The host starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("identity read as an option")
            << u"identity"_s << u"-i"_s
            << u"The identity name starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("certificate read as an option")
            << u"certificate"_s << u"-c"_s
            << u"The certificate name starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("second jump host read as an option")
            << u"ProxyJump"_s << u"bastion,-oProxyCommand=x"_s
            << u"The jump host starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("other option values may start with a hyphen")
            << u"RemoteCommand"_s << u"-x"_s << fine;
        QTest::newRow("name may start with a hyphen") << u"name"_s << u"- db -"_s << fine;
        QTest::newRow("hyphen inside a host") << u"host"_s << u"db-1.example"_s << fine;
        QTest::newRow("newline in the host")
            << u"host"_s << u"h\nProxyCommand x"_s << u"The host contains a control character."_s;
        QTest::newRow("NUL in the name")
            << u"name"_s << u"a\0b"_s << u"The name contains a control character."_s;
        QTest::newRow("tab in the user")
            << u"user"_s << u"a\tb"_s << u"The user contains a control character."_s;
        QTest::newRow("DEL in the user")
            << u"user"_s << u"a\x7f"_s << u"The user contains a control character."_s;
        QTest::newRow("newline in an option value")
            << u"RemoteCommand"_s << u"ls\nProxyCommand x"_s
            << u"The option “RemoteCommand” contains a control character."_s;
        QTest::newRow("newline in an option name")
            << u"Remote\nCommand"_s << u"ls"_s
            << u"The option name contains a control character."_s;
        QTest::newRow("note keeps its lines") << u"note"_s << u"one\ntwo\tthree"_s << fine;
        QTest::newRow("longest name") << u"name"_s << QString(1024, u'n') << fine;
        QTest::newRow("name too long")
            << u"name"_s << QString(1025, u'n') << u"The name is longer than 1,024 characters."_s;
        QTest::newRow("host too long")
            << u"host"_s << QString(1025, u'h') << u"The host is longer than 1,024 characters."_s;
        QTest::newRow("user too long")
            << u"user"_s << QString(257, u'u') << u"The user is longer than 256 characters."_s;
        QTest::newRow("option value too long")
            << u"RemoteCommand"_s << QString(4097, u'c')
            << u"The option “RemoteCommand” is longer than 4,096 characters."_s;
        QTest::newRow("longest note") << u"note"_s << QString(65536, u'n') << fine;
        QTest::newRow("note too long")
            << u"note"_s << QString(65537, u'n') << u"The note is longer than 65,536 characters."_s;
    }
    void fieldsAreCheckedBeforeTheyAreSaved()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        auto store = std::move(PersistenceController::openInMemory()).value();
        ObjectContext *ctx = store->mainContext();
        Profile *p = ctx->insertProfile();
        p->setName(u"db"_s);
        p->setAddress(u"h"_s);
        p->setUser(u"u"_s);
        if (field == u"name"_s)
            p->setName(value);
        else if (field == u"host"_s)
            p->setAddress(value);
        else if (field == u"user"_s)
            p->setUser(value);
        else if (field == u"identity"_s)
            p->setPrivateKeyName(value);
        else if (field == u"certificate"_s)
            p->setCertificateName(value);
        else if (field == u"note"_s)
            p->setNote(value);
        else
            p->setStringOption(value, field);
        const Status status = ProfileValidationForm::validateForSave(*p, *ctx);
        QCOMPARE(status ? status->message : QString(), message);
        if (status)
            QCOMPARE(status->recoverySuggestion,
                     u"Please check and fill in the fields marked in red."_s);
        const auto problems = ProfileValidationForm::fieldProblems(p->data());
        QCOMPARE(problems.isEmpty() ? QString() : problems.first().message, message);
    }

    // A form marks each field in error, not only the first one.
    void everyFieldProblemNamesItsField()
    {
        using Field = ProfileValidationForm::CheckedField;
        ProfileData data;
        data.name = u"db"_s;
        data.address = u"h"_s;
        data.user = u"-u"_s;
        data.privateKeyName = u"id\tkey"_s;
        data.options = QJsonObject{{u"ProxyJump"_s, u"-j"_s}, {u"ConnectTimeout"_s, u"5"_s}};
        const auto problems = ProfileValidationForm::fieldProblems(data);
        QCOMPARE(problems.size(), 3);
        QCOMPARE(problems[0].field, Field::user);
        QCOMPARE(problems[1].field, Field::identityName);
        QCOMPARE(problems[1].message, u"The identity name contains a control character."_s);
        QCOMPARE(problems[2].field, Field::option);
        QCOMPARE(problems[2].option, u"ProxyJump"_s);
        QCOMPARE(ProfileValidationForm::fieldProblem(data),
                 u"the user starts with “-”, which ssh would read as an option"_s);
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
