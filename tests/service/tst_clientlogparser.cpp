#include "askpassserver.h"
#include "clientlogparser.h"
#include "clientrunner.h"
#include "testenvironment.h"

using namespace Qt::StringLiterals;
namespace R = ClientReport;

namespace {

// The reports other than log lines, in order.
QList<ClientReportItem> progress(const QList<ClientReportItem> &reports)
{
    QList<ClientReportItem> result;
    for (const ClientReportItem &report : reports) {
        if (!std::holds_alternative<R::Log>(report))
            result.append(report);
    }
    return result;
}

// The log lines' texts, in order.
QStringList logTexts(const QList<ClientReportItem> &reports)
{
    QStringList result;
    for (const ClientReportItem &report : reports) {
        if (const auto *log = std::get_if<R::Log>(&report))
            result.append(log->text);
    }
    return result;
}

// Feeds the lines as the client writes them (CR LF), in awkward chunks.
QList<ClientReportItem> feedAll(const QStringList &lines)
{
    const QByteArray bytes = (lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8();
    ClientLogParser parser;
    QList<ClientReportItem> reports;
    for (qsizetype i = 0; i < bytes.size(); i += 7)
        reports += parser.feed(bytes.mid(i, 7));
    reports += parser.finish();
    return reports;
}

const QStringList goodTunnel = {
    u"OpenSSH_9.2p1 Debian-2+deb12u10, OpenSSL 3.0.22 25 Aug 2026"_s,
    u"debug1: Reading configuration data /tmp/t/ssh_config"_s,
    u"debug1: Connecting to 127.0.0.1 [127.0.0.1] port 22022."_s,
    u"debug1: Connection established."_s,
    u"debug1: Authenticating to 127.0.0.1:22022 as 'root'"_s,
    u"debug1: SSH2_MSG_KEXINIT sent"_s,
    u"debug1: kex: algorithm: sntrup761x25519-sha512"_s,
    u"debug1: kex: host key algorithm: ssh-ed25519"_s,
    u"debug1: kex: server->client cipher: chacha20-poly1305@openssh.com MAC: <implicit> compression: none"_s,
    u"debug1: kex: client->server cipher: aes128-ctr MAC: umac-64-etm@openssh.com compression: none"_s,
    u"debug1: Server host key: ssh-ed25519 SHA256:t23PUQMJSko3sUcqhMU5Jh9lJvWP5NeB2nhZl8pwQtM"_s,
    u"debug1: Host '[127.0.0.1]:22022' is known and matches the ED25519 host key."_s,
    u"debug1: Authentications that can continue: publickey"_s,
    u"debug1: Next authentication method: publickey"_s,
    u"debug1: Offering public key: /tmp/t/id_good ED25519 SHA256:WfFx explicit"_s,
    u"debug1: Server accepts key: /tmp/t/id_good ED25519 SHA256:WfFx explicit"_s,
    u"Authenticated to 127.0.0.1 ([127.0.0.1]:22022) using \"publickey\"."_s,
    u"debug1: Local forwarding listening on 127.0.0.1 port 23001."_s,
    u"debug1: Entering interactive session."_s,
    u"debug1: pledge: network"_s,
    u"Transferred: sent 3512, received 3816 bytes, in 0.7 seconds"_s,
    u"Bytes per second: sent 5162.9, received 5609.8"_s,
    u"debug1: Exit status 0"_s,
};

const QStringList jumpRun = {
    u"debug1: Setting implicit ProxyCommand from ProxyJump: ssh -l root -p 22022 -v -W '[%h]:%p' localhost"_s,
    u"debug1: Executing proxy command: exec ssh -l root -p 22022 -v -W '[127.0.0.1]:22022' localhost"_s,
    u"debug1: Local version string SSH-2.0-OpenSSH_9.2p1"_s,
    u"OpenSSH_9.2p1 Debian-2+deb12u10, OpenSSL 3.0.22 25 Aug 2026"_s,
    u"debug1: Connecting to localhost [127.0.0.1] port 22022."_s,
    u"debug1: Authenticating to localhost:22022 as 'root'"_s,
    u"debug1: kex: algorithm: curve25519-sha256"_s,
    u"debug1: Authentications that can continue: publickey"_s,
    u"debug1: Server accepts key: /k/jump ED25519 SHA256:j explicit"_s,
    u"Authenticated to localhost ([127.0.0.1]:22022) using \"publickey\"."_s,
    u"debug1: Entering interactive session."_s,
    u"debug1: Authenticating to 127.0.0.1:22022 as 'deploy'"_s,
    u"debug1: kex: algorithm: sntrup761x25519-sha512"_s,
    u"debug1: Authentications that can continue: publickey,password"_s,
    u"debug1: Server accepts key: /k/target ED25519 SHA256:t explicit"_s,
    u"Authenticated to 127.0.0.1 (via proxy) using \"publickey\"."_s,
    u"debug1: Entering interactive session."_s,
};

const QStringList proxyCommandRun = {
    u"debug1: Executing proxy command: exec nc -X 5 -x 127.0.0.1:1080 h 22"_s,
    u"debug1: Authenticating to h:22 as 'me'"_s,
    u"debug1: Authentications that can continue: publickey"_s,
    u"Authenticated to h (via proxy) using \"publickey\"."_s,
    u"debug1: Entering interactive session."_s,
};

const QStringList muxRun = {
    u"debug1: auto-mux: Trying existing master"_s,
    u"debug1: Requesting forwarding of local forward LOCALHOST:23031 -> 127.0.0.1:23002"_s,
    u"debug1: mux_client_request_session: master session id: 6"_s,
    u"muxclient: master forward request failed"_s,
};

} // namespace

Q_DECLARE_METATYPE(ClientReportItem)

class ClientLogParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aGoodTunnelReportsEveryStage()
    {
        const QList<ClientReportItem> reports = feedAll(goodTunnel);
        QCOMPARE(reports.size(), goodTunnel.size() + 11);
        const QList<ClientReportItem> expected = {
            R::HostWithHost{u"127.0.0.1"_s, u"127.0.0.1"_s},
            R::ConnectInfo{u"127.0.0.1"_s, 22022, u"root"_s},
            R::Algorithm{u"sntrup761x25519-sha512"_s},
            R::Cipher{u"chacha20-poly1305@openssh.com"_s, false},
            R::Cipher{u"aes128-ctr"_s, true},
            R::HostKey{u"ssh-ed25519 SHA256:t23PUQMJSko3sUcqhMU5Jh9lJvWP5NeB2nhZl8pwQtM"_s},
            R::Authenticating{},
            R::Identity{u"/tmp/t/id_good"_s},
            R::AuthMethod{u"publickey"_s},
            R::Authenticated{},
            R::Connected{},
        };
        QCOMPARE(progress(reports), expected);
        QCOMPARE(logTexts(reports), goodTunnel);
        // Log lines come without their line ends, each with its level.
        QCOMPARE(reports.first(),
                 ClientReportItem(R::Log{OpenSSHLevel::debug1, goodTunnel.first()}));
        QCOMPARE(std::get<R::Log>(reports.last()).level, OpenSSHLevel::debug1);
    }

    // What the run reports of its progress: a login is over only when the target says so, and
    // what fails after it (a forwarding refused) is no refused login; a drop during the key
    // exchange is no failed authentication; lines of a jump host are not the target's.
    void progressOfARun_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<ClientReportItem>>("expected");
        QTest::newRow("drop during key exchange")
            << QStringList{u"debug1: Connecting to h [10.0.0.1] port 22."_s,
                           u"debug1: Authenticating to h:22 as 'me'"_s,
                           u"debug1: SSH2_MSG_KEXINIT sent"_s,
                           u"Connection closed by 10.0.0.1 port 22"_s}
            << QList<ClientReportItem>{R::HostWithHost{u"h"_s, u"10.0.0.1"_s},
                                       R::ConnectInfo{u"h"_s, 22, u"me"_s}};
        QTest::newRow("refused key")
            << QStringList{u"debug1: Authenticating to h:22 as 'me'"_s,
                           u"debug1: Authentications that can continue: publickey"_s,
                           u"debug1: Offering public key: /k/id_wrong ED25519 SHA256:x explicit"_s,
                           u"debug1: Authentications that can continue: publickey"_s,
                           u"me@h: Permission denied (publickey)."_s}
            << QList<ClientReportItem>{R::ConnectInfo{u"h"_s, 22, u"me"_s}, R::Authenticating{}};
        QTest::newRow("login done at Authenticated to")
            << QStringList{u"debug1: Authenticating to h:22 as 'me'"_s,
                           u"debug1: Authentications that can continue: publickey"_s,
                           u"Authenticated using \"publickey\" with partial success."_s,
                           u"debug1: Authentications that can continue: password"_s,
                           u"Authenticated to h ([10.0.0.1]:22) using \"password\"."_s,
                           u"bind [127.0.0.1]:23041: Address already in use"_s,
                           u"channel_setup_fwd_listener_tcpip: cannot listen to port: 23041"_s,
                           u"Could not request local forwarding."_s}
            << QList<ClientReportItem>{R::ConnectInfo{u"h"_s, 22, u"me"_s}, R::Authenticating{},
                                       R::AuthMethod{u"publickey"_s}, R::AuthMethod{u"password"_s},
                                       R::Authenticated{}};
        QTest::newRow("proxy command")
            << proxyCommandRun
            << QList<ClientReportItem>{R::ConnectInfo{u"h"_s, 22, u"me"_s}, R::Authenticating{},
                                       R::AuthMethod{u"publickey"_s}, R::Authenticated{},
                                       R::Connected{}};
        QTest::newRow("multiplexed")
            << muxRun << QList<ClientReportItem>{R::Multiplexing{}, R::Connected{}};
        QTest::newRow("jump host")
            << jumpRun
            << QList<ClientReportItem>{R::Jumping{},
                                       R::Authenticating{},
                                       R::ConnectInfo{u"127.0.0.1"_s, 22022, u"deploy"_s},
                                       R::Algorithm{u"sntrup761x25519-sha512"_s},
                                       R::Identity{u"/k/target"_s},
                                       R::AuthMethod{u"publickey"_s},
                                       R::Authenticated{},
                                       R::Connected{}};
    }
    void progressOfARun()
    {
        QFETCH(QStringList, lines);
        QTEST(progress(feedAll(lines)), "expected");
    }

    void aHostKeyTheClientWillNotTrustEndsTheRun()
    {
        const QStringList lines = {
            u"debug1: Authenticating to 127.0.0.1:22022 as 'root'"_s,
            u"debug1: Server host key: ssh-ed25519 SHA256:t23P"_s,
            u"@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@"_s,
            u"@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @"_s,
            u"@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@"_s,
            u"IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!"_s,
            u"Offending ED25519 key in /tmp/lab/ap-kh:1"_s,
            u"Host key for [127.0.0.1]:22022 has changed and you have requested strict checking."_s,
            u"Host key verification failed."_s,
        };
        const QList<ClientReportItem> reports = feedAll(lines);
        QCOMPARE(progress(reports).last(), ClientReportItem(R::HostKeyRefused{}));
        QVERIFY(!progress(reports).contains(ClientReportItem(R::Authenticating{})));
        QCOMPARE(reports.at(reports.size() - 3),
                 ClientReportItem(R::Log{OpenSSHLevel::fatal, lines.at(lines.size() - 2)}));
    }

    // A jump host's client speaks from its banner to its session, nested ones in turn, a
    // multiplexed run through its master; a proxy command that is no client (nc, socat) and a
    // run whose master is not there leave every line to the target.
    void whoSaidEachLine_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("said");
        QStringList jumped = jumpRun;
        for (qsizetype i = 3; i <= 10; ++i)
            jumped[i] = u"[localhost] "_s + jumped[i];
        QTest::newRow("jump host") << jumpRun << jumped;
        QTest::newRow("nested jump hosts")
            << QStringList{u"debug1: Executing proxy command: exec ssh -J a -v -W '[t]:22' b"_s,
                           u"OpenSSH_9.2p1"_s,
                           u"debug1: Executing proxy command: exec ssh -v -W '[b]:22' a"_s,
                           u"OpenSSH_9.2p1"_s,
                           u"ssh: connect to host a port 22: Connection refused"_s}
            << QStringList{u"debug1: Executing proxy command: exec ssh -J a -v -W '[t]:22' b"_s,
                           u"[b] OpenSSH_9.2p1"_s,
                           u"[b] debug1: Executing proxy command: exec ssh -v -W '[b]:22' a"_s,
                           u"[a] OpenSSH_9.2p1"_s,
                           u"[a] ssh: connect to host a port 22: Connection refused"_s};
        QTest::newRow("proxy command") << proxyCommandRun << proxyCommandRun;
        QStringList muxed = muxRun;
        for (qsizetype i = 1; i < muxed.size(); ++i)
            muxed[i] = u"[mux] "_s + muxed[i];
        QTest::newRow("multiplexed") << muxRun << muxed;
        const QStringList ownMaster = {u"debug1: auto-mux: Trying existing master"_s,
                                       u"debug1: Control socket \"/tmp/cm/f4c2\" does not exist"_s,
                                       u"debug1: Connecting to 127.0.0.1 [127.0.0.1] port 22022."_s,
                                       u"debug1: setting up multiplex master socket"_s};
        QTest::newRow("without its master") << ownMaster << ownMaster;
    }
    void whoSaidEachLine()
    {
        QFETCH(QStringList, lines);
        QTEST(logTexts(feedAll(lines)), "said");
    }

    void theRunGetsAConnectTimeoutUnlessItHasOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("run");
        const QStringList timeout = {
            u"-o"_s, u"ConnectTimeout=%1"_s.arg(ClientRunner::defaultConnectTimeoutSeconds)};
        QTest::newRow("none") << QStringList{u"-N"_s, u"h"_s}
                              << QStringList{u"-v"_s} + timeout + QStringList{u"-N"_s, u"h"_s};
        QTest::newRow("own verbosity")
            << QStringList{u"-vv"_s, u"h"_s} << timeout + QStringList{u"-vv"_s, u"h"_s};
        for (const QStringList &given :
             {QStringList{u"-o"_s, u"ConnectTimeout=5"_s}, QStringList{u"-oconnecttimeout 5"_s},
              QStringList{u"-o"_s, u" ConnectTimeout \"5\""_s}}) {
            QTest::addRow("given as %s", qPrintable(given.join(u' ')))
                << given + QStringList{u"h"_s}
                << QStringList{u"-v"_s} + given + QStringList{u"h"_s};
        }
        QTest::newRow("another option") << QStringList{u"-o"_s, u"ConnectTimeouts=5"_s, u"h"_s}
                                        << QStringList{u"-v"_s} + timeout +
                                               QStringList{u"-o"_s, u"ConnectTimeouts=5"_s, u"h"_s};
    }
    void theRunGetsAConnectTimeoutUnlessItHasOne()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, run);
        QCOMPARE(ClientRunner::argumentsForRun(arguments), run);
    }

    void levels_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("level");
        const int error = int(OpenSSHLevel::error);
        QTest::newRow("debug2") << u"debug2: channel 2: rcvd adjust 131072"_s << 6;
        QTest::newRow("debug3") << u"debug3: send packet: type 80"_s << 7;
        QTest::newRow("transferred")
            << u"Transferred: sent 1, received 2 bytes, in 0.1 seconds"_s << 4;
        QTest::newRow("bytes per second") << u"Bytes per second: sent 1.0, received 2.0"_s << 4;
        QTest::newRow("authenticated")
            << u"Authenticated to h ([1.2.3.4]:22) using \"password\"."_s << 4;
        QTest::newRow("added host")
            << u"Warning: Permanently added 'h' (ED25519) to the list of known hosts."_s << 3;
        QTest::newRow("version banner")
            << u"OpenSSH_9.2p1 Debian-2+deb12u10, OpenSSL 3.0.22 25 Aug 2026"_s << 5;
        QTest::newRow("closed by remote") << u"Connection to h closed by remote host."_s << error;
        QTest::newRow("closed during key exchange")
            << u"Connection closed by 10.0.0.1 port 22"_s << error;
        QTest::newRow("refused") << u"ssh: connect to host h port 22: Connection refused"_s
                                 << error;
        QTest::newRow("timeout") << u"Timeout, server h not responding."_s << error;
        QTest::newRow("forward failed")
            << u"Warning: remote port forwarding failed for listen port 1"_s << error;
        QTest::newRow("host key") << u"Host key verification failed."_s << error;
        QTest::newRow("changed host key")
            << u"Host key for h has changed and you have requested strict checking."_s << 1;
        QTest::newRow("unknown host key")
            << u"No ED25519 host key is known for h and you have requested strict checking."_s << 1;
        QTest::newRow("not a debug prefix") << u"debug4: nothing"_s << error;
    }
    void levels()
    {
        QFETCH(QString, line);
        QFETCH(int, level);
        QCOMPARE(int(levelOfLine(line)), level);
    }

    void keyboardInteractiveQuestionsAreRelayedAsOnes()
    {
        QCOMPARE(AskPassServer::relayedPrompt(u"(labuser@127.0.0.1) Password: "_s),
                 u"Answer labuser@127.0.0.1's question - Password: "_s);
        QCOMPARE(AskPassServer::relayedPrompt(u"Enter passphrase for key '/k': "_s),
                 u"Enter passphrase for key '/k': "_s);
    }

    void partialLinesWaitForTheirEnd()
    {
        ClientLogParser parser;
        QVERIFY(parser.feed("debug1: Entering interactive").isEmpty());
        QCOMPARE(parser.feed(" session.\n").size(), 2);
        QCOMPARE(parser.feed("Killed by signal 1.").size(), 0);
        const QList<ClientReportItem> rest = parser.finish();
        QCOMPARE(rest,
                 (QList<ClientReportItem>{R::Log{OpenSSHLevel::error, u"Killed by signal 1."_s}}));
        QVERIFY(parser.finish().isEmpty());
    }

    // However the output is cut into reads, the lines are the same; a line past the limit
    // keeps its beginning and says how much of it was dropped.
    void linesAreCutAtTheLimit_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QStringList>("lines");
        const QString cut = u"%1 … (%2 more bytes of this line were dropped)"_s;
        QTest::newRow("short lines") << QByteArrayList{"a\r\nbb", "\n\nc"}
                                     << QStringList{u"a"_s, u"bb"_s, QString(), u"c"_s};
        QTest::newRow("long line in one read")
            << QByteArrayList{"0123456789abcdef\nnext\n"}
            << QStringList{cut.arg(u"01234567"_s).arg(8), u"next"_s};
        QTest::newRow("long line over many reads")
            << QByteArrayList{"0123", "4567", "89ab", "cdef\r", "\n"}
            << QStringList{cut.arg(u"01234567"_s).arg(8)};
        QTest::newRow("exactly the limit")
            << QByteArrayList{"01234567\r\n"} << QStringList{u"01234567"_s};
        QTest::newRow("long last line")
            << QByteArrayList{"0123456789"} << QStringList{cut.arg(u"01234567"_s).arg(2)};
        QTest::newRow("text cut inside a character")
            << QByteArrayList{"abcdefg\xc3\xa9\n"}
            << QStringList{cut.arg(u"abcdefg\ufffd"_s).arg(1)};
    }
    void linesAreCutAtTheLimit()
    {
        QFETCH(QByteArrayList, reads);
        LineSplitter splitter(8);
        QStringList lines;
        for (const QByteArray &read : reads) {
            for (const LineSplitter::Line &line : splitter.feed(read))
                lines.append(line.text());
        }
        if (const auto rest = splitter.finish())
            lines.append(rest->text());
        QTEST(lines, "lines");
    }

    // A client (or a server behind it) that prints megabytes without a line feed costs one
    // bounded line.
    void aHugeLineBecomesOneBoundedReport()
    {
        ClientLogParser parser;
        const QByteArray read(16384, 'x');
        QList<ClientReportItem> reports;
        for (int i = 0; i < 20 * 64; ++i)
            reports += parser.feed(read);
        reports += parser.feed("\ndebug1: Entering interactive session.\n");
        QCOMPARE(reports.size(), 3);
        const auto *log = std::get_if<R::Log>(&reports[0]);
        QVERIFY(log);
        QVERIFY(log->text.size() < LineSplitter::defaultMaxLength + 100);
        QVERIFY(log->text.endsWith(u"(%1 more bytes of this line were dropped)"_s.arg(
            20 * 64 * 16384 - LineSplitter::defaultMaxLength)));
        QCOMPARE(reports[2], ClientReportItem(R::Connected{}));
    }
};

VELL_TEST_MAIN(ClientLogParserTest)
#include "tst_clientlogparser.moc"
