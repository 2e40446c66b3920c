#include "environmentvariables.h"
#include "forwardingspec.h"
#include "networkinterface.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "quickoptions.h"
#include "systemconfig.h"
#include "testenvironment.h"

#include <QFile>

using namespace Qt::StringLiterals;

class SSHSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void environmentVariablesStoredFormAndApplication()
    {
        EnvironmentVariables variables;
        variables.contents = {{QUuid::createUuid(), u"LANG"_s, u"C"_s, true},
                              {QUuid::createUuid(), u"LANG"_s, u"de_DE.UTF-8"_s, true},
                              {QUuid::createUuid(), u"OFF"_s, u"x"_s, false},
                              {QUuid::createUuid(), u""_s, u"nameless"_s, true},
                              {QUuid::createUuid(), u"EMPTY"_s, u""_s, true}};
        const EnvironmentVariables read = EnvironmentVariables::fromData(variables.toData());
        QCOMPARE(read, variables);
        QVERIFY(read.contents[0].id != variables.contents[0].id);

        QProcessEnvironment environment;
        environment.insert(u"LANG"_s, u"inherited"_s);
        read.applyTo(environment);
        QCOMPARE(environment.value(u"LANG"_s), u"de_DE.UTF-8"_s);
        QVERIFY(!environment.contains(u"OFF"_s));
        QVERIFY(environment.contains(u"EMPTY"_s));
        QCOMPARE(environment.keys().size(), 2);

        const auto partial = EnvironmentVariables::fromData(R"([{"key": "A"}, 7, {"key": 1}])");
        QCOMPARE(partial.contents.size(), 3);
        QCOMPARE(partial.contents[0].key, u"A"_s);
        QCOMPARE(partial.contents[0].value, QString());
        QVERIFY(!partial.contents[0].enabled);
        QVERIFY(EnvironmentVariables::fromData("{\"key\": \"A\"}").contents.isEmpty());
        QVERIFY(EnvironmentVariables::fromData("garbage").contents.isEmpty());
    }

    void quickOptionAccessors()
    {
        auto store = std::move(PersistenceController::openInMemory()).value();
        Profile &profile = *store->mainContext()->insertProfile();
        QVERIFY(!addressFamily(profile));
        setAddressFamily(profile, AddressFamily::inet6);
        QCOMPARE(profile.sshOptions().value(u"AddressFamily"_s), u"inet6"_s);
        profile.setStringOption(u"INET"_s, u"AddressFamily"_s);
        QVERIFY(!addressFamily(profile));
        setAddressFamily(profile, std::nullopt);
        QVERIFY(!profile.sshOptions().contains(u"AddressFamily"_s));

        profile.setStringOption(u"debug1"_s, u"LogLevel"_s);
        QVERIFY(!logLevel(profile));
        setCompression(profile, false);
        QCOMPARE(compression(profile), false);
        setJumpHosts(profile, u""_s);
        QVERIFY(!jumpHosts(profile));

        QVERIFY(noSession(profile));
        setSessionType(profile, SessionType::defaultSession);
        QVERIFY(!noSession(profile));
        setSessionType(profile, SessionType::none);
        QVERIFY(noSession(profile));
    }

    void networkInterfacesIncludeLoopback()
    {
        const QList<NetworkInterface> interfaces = NetworkInterface::list();
        auto lo = std::find_if(interfaces.cbegin(), interfaces.cend(),
                               [](const NetworkInterface &i) { return i.bsdName == u"lo"_s; });
        QVERIFY(lo != interfaces.cend());
        QCOMPARE(lo->preferredAddress(), u"127.0.0.1"_s);
        QCOMPARE((NetworkInterface{u"Wired"_s, u"eth0"_s, {}, u"fe80::1"_s}).preferredAddress(),
                 u"fe80::1"_s);
        QVERIFY(!NetworkInterface{}.preferredAddress());
    }

    void systemConfigIsWrittenOnlyWhenMissingAndWritable()
    {
        const QString folder = qEnvironmentVariable("VELLSSH_TEST_ETC_SSH");
        QVERIFY(!folder.isEmpty());
        const QString path = systemConfigFilePath();
        QCOMPARE(path, folder + u"/ssh_config"_s);
        {
            const QByteArray seam = qgetenv("VELLSSH_TEST_ETC_SSH");
            qunsetenv("VELLSSH_TEST_ETC_SSH");
            const QString stock = systemConfigFilePath();
            qputenv("VELLSSH_TEST_ETC_SSH", seam);
            QCOMPARE(stock, u"/etc/ssh/ssh_config"_s);
        }

        QVERIFY(!ensureSystemConfigFile());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("# This is the Vell SSH system-wide configuration file.\n\n"));
        QVERIFY(text.endsWith("\nHost *\n\tSendEnv LANG LC_*\n"));
        file.close();
        // Nothing is left in the application's own folder.
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/VellSSH/ssh_config"_s));

        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Host mine\n");
        file.close();
        QVERIFY(!ensureSystemConfigFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Host mine\n"));

        // A folder nobody may write to (not even root: /proc/self), or one that is not there,
        // is left as it is, and that is no error.
        for (const QString &elsewhere :
             {u"/proc/self/ssh_config"_s, folder + u"/missing/ssh_config"_s}) {
            QVERIFY(!ensureSystemConfigFile(elsewhere));
            QVERIFY(!QFile::exists(elsewhere));
        }
        QVERIFY(!QFile::exists(folder + u"/missing"_s));

        // A file that cannot be made where it should be is said, by its path.
        const QString dangling = folder + u"/dangling"_s;
        QVERIFY(QFile::link(folder + u"/nowhere/file"_s, dangling));
        const Status error = ensureSystemConfigFile(dangling);
        QVERIFY(error);
        QVERIFY(error->message.contains(dangling));
    }

    void forwardingArgumentsFromText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("spec");
        QTest::addColumn<QString>("parsed");
        auto L = int(ForwardingType::local);
        auto R = int(ForwardingType::remote);
        auto D = int(ForwardingType::dynamic);
        auto RD = int(ForwardingType::reverseDynamic);
        QTest::newRow("local") << L << u"8080:10.0.0.5:80"_s << u"0 -:8080 10.0.0.5:80"_s;
        QTest::newRow("local bound")
            << L << u"127.0.0.1:8080:db:5432"_s << u"0 127.0.0.1:8080 db:5432"_s;
        QTest::newRow("local ipv6")
            << L << u"[::1]:8080:[fe80::2]:80"_s << u"0 ::1:8080 fe80::2:80"_s;
        QTest::newRow("local socket to port")
            << L << u"/tmp/l.sock:db:5432"_s << u"0 /tmp/l.sock:0 db:5432"_s;
        QTest::newRow("local port to socket")
            << L << u"5432:/run/pg.sock"_s << u"0 -:5432 /run/pg.sock:0"_s;
        QTest::newRow("remote") << R << u"9000:localhost:3000"_s << u"1 -:9000 localhost:3000"_s;
        QTest::newRow("remote port only is reverse dynamic") << R << u"1081"_s << u"3 -:1081 -"_s;
        QTest::newRow("remote bound port only") << R << u"0.0.0.0:1081"_s << u"3 0.0.0.0:1081 -"_s;
        QTest::newRow("remote to socket")
            << R << u"9000:/run/x.sock"_s << u"1 -:9000 /run/x.sock:0"_s;
        QTest::newRow("dynamic") << D << u"1080"_s << u"2 -:1080 -"_s;
        QTest::newRow("dynamic bound") << D << u"[::1]:1080"_s << u"2 ::1:1080 -"_s;
        QTest::newRow("reverse dynamic") << RD << u"localhost:1081"_s << u"3 localhost:1081 -"_s;
        QTest::newRow("bad port") << L << u"80800:h:1"_s << u"error"_s;
        QTest::newRow("missing target port") << L << u"8080:host"_s << u"error"_s;
        QTest::newRow("dynamic with target") << D << u"1:h:2"_s << u"error"_s;
        QTest::newRow("unclosed bracket") << L << u"[::1:80:h:1"_s << u"error"_s;
        QTest::newRow("empty") << D << u""_s << u"error"_s;
        // What the client refuses later, when the tunnel starts, is refused when typed.
        QTest::newRow("stray closing bracket") << L << u"a]b:8080:h:80"_s << u"error"_s;
        QTest::newRow("bracket inside a name") << L << u"8080:h[1]:80"_s << u"error"_s;
        QTest::newRow("nested brackets") << L << u"[[::1]]:8080:h:80"_s << u"error"_s;
        QTest::newRow("text after a bracket") << D << u"[::1]x:1080"_s << u"error"_s;
        QTest::newRow("blank inside") << L << u"8080:my host:80"_s << u"error"_s;
        QTest::newRow("tab inside") << R << u"9000:h\t:80"_s << u"error"_s;
        QTest::newRow("control character") << L << u"8080:h\x01:80"_s << u"error"_s;
        QTest::newRow("line feed inside") << D << u"10\n80"_s << u"error"_s;
        QTest::newRow("signed port") << L << u"+8080:h:80"_s << u"error"_s;
        QTest::newRow("bind read as an option") << L << u"-oProxyCommand=x:1:h:2"_s << u"error"_s;
        QTest::newRow("target read as an option") << L << u"1:-oX:2"_s << u"error"_s;
        QTest::newRow("dynamic bind read as an option") << D << u"[-x]:1080"_s << u"error"_s;
        QTest::newRow("hyphen inside names") << L << u"my-host:1:a-b:2"_s << u"0 my-host:1 a-b:2"_s;
        QTest::newRow("blank port") << L << u"8080:h: 80"_s << u"error"_s;
        QTest::newRow("outer blanks are trimmed") << D << u" 1080\n"_s << u"2 -:1080 -"_s;
    }
    void forwardingArgumentsFromText()
    {
        QFETCH(int, type);
        QFETCH(QString, spec);
        const auto result = parseForwardingSpec(ForwardingType(type), spec);
        if (!result.ok()) {
            QVERIFY(result.error().message.contains(spec));
            QFETCH(QString, parsed);
            QCOMPARE(parsed, u"error"_s);
            return;
        }
        const ForwardingData &d = *result;
        const QString target =
            isDynamic(ForwardingType(d.type))
                ? u"-"_s
                : d.targetAddress.value_or(u"-"_s) + u':' + QString::number(d.targetPort);
        const QString text = QString::number(d.type) + u' ' + d.bindAddress.value_or(u"-"_s) +
                             u':' + QString::number(d.bindPort) + u' ' + target;
        QTEST(text, "parsed");
        QVERIFY(d.enabled);
    }
};

VELL_TEST_MAIN(SSHSettingsTest)
#include "tst_sshsettings.moc"
