#include "forwarding.h"
#include "homedirectory.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "shellquoting.h"
#include "sshinvocation.h"
#include "testenvironment.h"
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

const QSet<QString> defaultNames = {u"ExitOnForwardFailure"_s, u"ServerAliveInterval"_s,
                                    u"ServerAliveCountMax"_s};

InvocationInputs inputs(const QSet<QString> &known = defaultNames, const QString &config = {})
{
    return {known, u"/Users/me/.ssh"_s, config};
}

ForwardingData forwarding(ForwardingType type, const QString &bind, int bindPort,
                          const QString &target = {}, int targetPort = 0)
{
    ForwardingData data;
    data.type = qint16(type);
    data.enabled = true;
    if (!bind.isEmpty())
        data.bindAddress = bind;
    data.bindPort = bindPort;
    if (!target.isEmpty())
        data.targetAddress = target;
    data.targetPort = targetPort;
    return data;
}

ProfileData profileWith(const OptionDictionary &options, const QString &address = u"h"_s)
{
    ProfileData data;
    data.address = address;
    QJsonObject json;
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        json.insert(it.key(), it.value());
    data.options = json;
    return data;
}

} // namespace

class InvocationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workedExample()
    {
        ProfileData profile = profileWith({{u"ExitOnForwardFailure"_s, u"yes"_s},
                                           {u"ServerAliveInterval"_s, u"15"_s},
                                           {u"ServerAliveCountMax"_s, u"3"_s},
                                           {u"AddressFamily"_s, u"inet"_s},
                                           {u"Compression"_s, u"yes"_s},
                                           {u"ForwardAgent"_s, u"no"_s},
                                           {u"ProxyJump"_s, u"198.51.100.7"_s},
                                           {u"LogLevel"_s, u"DEBUG2"_s}},
                                          u"192.0.2.10"_s);
        profile.port = 2222;
        profile.user = u"deploy"_s;
        profile.privateKeyName = u"id_ed25519"_s;
        const QList<ForwardingData> forwardings = {
            forwarding(ForwardingType::local, {}, 8080, u"10.0.0.5"_s, 80),
            forwarding(ForwardingType::remote, {}, 9000, u"localhost"_s, 3000),
            forwarding(ForwardingType::dynamic, u"127.0.0.1"_s, 1080),
            forwarding(ForwardingType::reverseDynamic, {}, 1081),
        };
        const QStringList expected = {
            u"-N"_s, u"-4"_s, u"-C"_s, u"-i"_s, u"/Users/me/.ssh/id_ed25519"_s, u"-J"_s,
            u"198.51.100.7"_s, u"-vv"_s, u"-L"_s, u"8080:10.0.0.5:80"_s, u"-R"_s,
            u"9000:localhost:3000"_s, u"-D"_s, u"127.0.0.1:1080"_s, u"-R"_s, u"1081"_s,
            // The options come in sorted order.
            u"-o"_s, u"ExitOnForwardFailure=yes"_s, u"-o"_s, u"ServerAliveCountMax=3"_s, u"-o"_s,
            u"ServerAliveInterval=15"_s, u"-p"_s, u"2222"_s, u"deploy@192.0.2.10"_s};
        const SSHInvocation invocation = sshInvocation(profile, forwardings, inputs());
        QCOMPARE(invocation.params, expected);
        QCOMPARE(invocation.command, u"ssh "_s + expected.join(u' '));
    }

    void quotingExamples()
    {
        ProfileData profile =
            profileWith({{u"ProxyCommand"_s, u"nc -X 5 -x 127.0.0.1:1080 %h %p"_s},
                         {u"SendEnv"_s, u"LANG LC_*"_s}});
        profile.privateKeyName = u"my key"_s;
        const SSHInvocation invocation =
            sshInvocation(profile, {}, inputs({u"ProxyCommand"_s, u"SendEnv"_s}));
        QCOMPARE(invocation.params,
                 (QStringList{u"-N"_s, u"-i"_s, u"/Users/me/.ssh/my key"_s, u"-o"_s,
                              u"ProxyCommand=nc -X 5 -x 127.0.0.1:1080 %h %p"_s, u"-o"_s,
                              u"SendEnv=\"LANG LC_*\""_s, u"h"_s}));
        QCOMPARE(invocation.command, u"ssh -N -i \"/Users/me/.ssh/my key\" -o "
                                     "ProxyCommand=\"nc -X 5 -x 127.0.0.1:1080 %h %p\" -o "
                                     "SendEnv=\\\"LANG\\ LC_\\*\\\" h"_s);
    }

    void shellQuotingRules()
    {
        QCOMPARE(shellQuoted(u"plain-word"_s), u"plain-word"_s);
        QCOMPARE(shellQuoted(u"a b"_s), u"\"a b\""_s);
        QCOMPARE(shellQuoted(u"it's"_s), u"\"it's\""_s);
        // Pasted into a shell, the shown words stay the words: nothing in them runs.
        for (const QString &word : {u"h$(id)"_s, u"u\"`id`\"'s"_s, u"a\\b!c"_s}) {
            QProcess shell;
            shell.start(u"bash"_s, {u"-c"_s, u"printf %s "_s + shellWord(word)});
            QVERIFY(shell.waitForFinished(10000));
            QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), word);
        }
        QCOMPARE(shellEscaped(u"a\tb"_s), u"a\\\tb"_s);
        QCOMPARE(shellEscaped(u"x\r\ny"_s), u"x\\\r\ny"_s);
        QCOMPARE(shellEscaped(u"e\u0301 $"_s), u"e\u0301\\ \\$"_s);
    }

    void optionRules_data()
    {
        QTest::addColumn<OptionDictionary>("options");
        QTest::addColumn<QStringList>("params");
        QTest::newRow("no options") << OptionDictionary{} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("default session")
            << OptionDictionary{{u"SessionType"_s, u"default"_s}} << QStringList{u"h"_s};
        QTest::newRow("subsystem")
            << OptionDictionary{{u"SessionType"_s, u"subsystem"_s}} << QStringList{u"h"_s};
        QTest::newRow("bogus session")
            << OptionDictionary{{u"SessionType"_s, u"bogus"_s}} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("empty remote command")
            << OptionDictionary{{u"RemoteCommand"_s, u""_s}} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("remote command")
            << OptionDictionary{{u"RemoteCommand"_s, u"uptime"_s}}
            << QStringList{u"-tt"_s, u"-N"_s, u"-o"_s, u"RemoteCommand=uptime"_s, u"h"_s};
        QTest::newRow("lower-case log level")
            << OptionDictionary{{u"LogLevel"_s, u"debug1"_s}} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("YES is not true")
            << OptionDictionary{{u"Compression"_s, u"YES"_s}} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("t is true") << OptionDictionary{{u"Compression"_s, u"t"_s}}
                                   << QStringList{u"-N"_s, u"-C"_s, u"h"_s};
        QTest::newRow("agent") << OptionDictionary{{u"ForwardAgent"_s, u"y"_s}}
                               << QStringList{u"-N"_s, u"-A"_s, u"h"_s};
        QTest::newRow("INET is not a family")
            << OptionDictionary{{u"AddressFamily"_s, u"INET"_s}} << QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("bind address and ipv6")
            << OptionDictionary{{u"BindAddress"_s, u"10.0.0.1"_s}, {u"AddressFamily"_s, u"inet6"_s}}
            << QStringList{u"-N"_s, u"-6"_s, u"-b"_s, u"10.0.0.1"_s, u"h"_s};
        QTest::newRow("identity file option") << OptionDictionary{{u"IdentityFile"_s, u"~/k"_s}}
                                              << QStringList{u"-N"_s, u"-i"_s, u"~/k"_s, u"h"_s};
        QTest::newRow("unknown and empty options")
            << OptionDictionary{{u"UserNotification"_s, u"yes"_s},
                                {u"ServerAliveInterval"_s, u""_s}}
            << QStringList{u"-N"_s, u"h"_s};
    }
    void optionRules()
    {
        QFETCH(OptionDictionary, options);
        QSet<QString> known = defaultNames;
        known << u"RemoteCommand"_s << u"IdentityFile"_s << u"Compression"_s;
        QTEST(sshInvocation(profileWith(options), {}, inputs(known)).params, "params");
    }

    void identityAndCertificate()
    {
        ProfileData profile = profileWith({{u"IdentityFile"_s, u"/other"_s}});
        profile.privateKeyName = u"id"_s;
        profile.certificateName = u"id cert.pub"_s;
        const SSHInvocation invocation = sshInvocation(profile, {}, inputs());
        QCOMPARE(invocation.params,
                 (QStringList{u"-N"_s, u"-i"_s, u"/Users/me/.ssh/id"_s, u"-o"_s,
                              u"CertificateFile=\"/Users/me/.ssh/id cert.pub\""_s, u"h"_s}));
        QVERIFY(invocation.command.endsWith(
            u"-o CertificateFile=\\\"/Users/me/.ssh/id\\ cert.pub\\\" h"_s));
    }

    void configFileAndTilde()
    {
        const QString home = realHomeDirectory();
        QCOMPARE(sshInvocation(profileWith({}), {}, inputs(defaultNames, u"~"_s)).params,
                 (QStringList{u"-N"_s, u"-F"_s, home, u"h"_s}));
        QCOMPARE(sshInvocation(profileWith({}), {}, inputs(defaultNames, u"~other/cfg"_s)).params,
                 (QStringList{u"-N"_s, u"-F"_s, u"~other/cfg"_s, u"h"_s}));
        QCOMPARE(expandingTilde(u"~/x"_s), home + u"/x"_s);
        QCOMPARE(expandingTilde(u"~"_s), home);
        QCOMPARE(expandingTilde(u""_s), QString());
        QCOMPARE(expandingTilde(u"a/~/b"_s), u"a/~/b"_s);
        QCOMPARE(home, qEnvironmentVariable("VELLSSH_TEST_REAL_HOME"));
        QCOMPARE(sshInvocation(ProfileData{}, {}, inputs()).params, QStringList{u"-N"_s});
    }

    void forwardingSpecs_data()
    {
        QTest::addColumn<ForwardingData>("forwarding");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("remote no target")
            << forwarding(ForwardingType::remote, {}, 9000) << QStringList{u"-R"_s, u"9000"_s};
        QTest::newRow("remote target port only")
            << forwarding(ForwardingType::remote, {}, 9000, {}, 22)
            << QStringList{u"-R"_s, u"9000:22"_s};
        QTest::newRow("local without target address")
            << forwarding(ForwardingType::local, {}, 80) << QStringList{u"-L"_s, u"80:0"_s};
        QTest::newRow("ipv6 with zone")
            << forwarding(ForwardingType::local, u"fe80::1%en0"_s, 80, u"[::1]"_s, 8080)
            << QStringList{u"-L"_s, u"[fe80::1%en0]:80:[::1]:8080"_s};
        QTest::newRow("socket bind")
            << forwarding(ForwardingType::local, u"~/sock"_s, 0, u"db"_s, 5432)
            << QStringList{u"-L"_s, realHomeDirectory() + u"/sock:db:5432"_s};
        QTest::newRow("unknown kind is local") << [] {
            auto f = forwarding(ForwardingType::local, {}, 1, u"h"_s, 2);
            f.type = 9;
            return f;
        }() << QStringList{u"-L"_s, u"1:h:2"_s};
    }
    void forwardingSpecs()
    {
        QFETCH(ForwardingData, forwarding);
        QTEST(forwardingArguments(forwarding), "words");
    }

    void forwardingsComeEnabledAndByPriority()
    {
        auto store = std::move(PersistenceController::openInMemory()).value();
        ObjectContext *ctx = store->mainContext();
        Profile *profile = ctx->insertProfile();
        profile->setAddress(u"h"_s);
        for (int priority : {5, 1, 3, 2}) {
            Forwarding *f = ctx->insertForwarding();
            f->edit([&](ForwardingData &d) {
                d.priority = qint16(priority);
                d.bindPort = priority;
                d.targetPort = priority;
                d.enabled = priority != 2;
            });
            f->setProfile(profile);
        }
        const QStringList params = sshInvocation(*profile, inputs({})).params;
        QCOMPARE(params, (QStringList{u"-N"_s, u"-L"_s, u"1:1"_s, u"-L"_s, u"3:3"_s, u"-L"_s,
                                      u"5:5"_s, u"h"_s}));
        QVERIFY(!requirePrivilegedHelper(*profile, {u"ProxyCommand"_s}));
        profile->setStringOption(u"nc %h %p"_s, u"ProxyCommand"_s);
        QVERIFY(requirePrivilegedHelper(*profile, {u"ProxyCommand"_s}));
    }

    void privilegedHelper()
    {
        const QSet<QString> strict = {u"ControlPath"_s};
        QVERIFY(!requirePrivilegedHelper({}, {forwarding(ForwardingType::local, {}, 1, u"h"_s, 2)},
                                         strict));
        QVERIFY(requirePrivilegedHelper(
            {}, {forwarding(ForwardingType::local, u"~/sock"_s, 0, u"h"_s, 2)}, strict));
        QVERIFY(requirePrivilegedHelper(
            {}, {forwarding(ForwardingType::remote, {}, 1, u"/s.sock"_s, 0)}, strict));
        QVERIFY(requirePrivilegedHelper({{u"ControlPath"_s, u""_s}}, {}, strict));
    }
};

VELL_TEST_MAIN(InvocationTest)
#include "tst_invocation.moc"
