#include "reportmessages.h"
#include "sshprotocol.h"

#include <QTest>

#include <set>

using namespace Qt::StringLiterals;
namespace R = ClientReport;

class ReportMessagesTest : public QObject
{
    Q_OBJECT

    // One of every kind, with values at the edges of what each field holds.
    static QList<ClientReportItem> everyKind()
    {
        return {R::Log{OpenSSHLevel::debug3, u"debug3: line “é”\n"_s},
                R::Log{OpenSSHLevel::quiet, QString()},
                R::HostWithHost{u"db.example"_s, u"2001:db8::1"_s},
                R::ConnectInfo{u"db.example"_s, 65535, u"me"_s},
                R::ConnectInfo{u"db.example"_s, 0, QString()},
                R::Authenticating{},
                R::Jumping{},
                R::Multiplexing{},
                R::Connected{},
                R::Authenticated{},
                R::HostKeyRefused{},
                R::AuthMethod{u"publickey"_s},
                R::Identity{u"/home/me/.ssh/id_ed25519"_s},
                R::HostKey{u"ED25519 SHA256:abc"_s},
                R::Algorithm{u"curve25519-sha256"_s},
                R::Cipher{u"chacha20-poly1305@openssh.com"_s, true},
                R::Cipher{u"aes128-ctr"_s, false},
                R::RunRefused{},
                R::Attempt{3},
                R::Exit{255},
                R::Exit{0}};
    }

private Q_SLOTS:
    void everyReportComesBackAsItWasSent()
    {
        std::set<size_t> kinds;
        std::set<QString> ops;
        for (const ClientReportItem &item : everyKind()) {
            kinds.insert(item.index());
            const auto [op, args] = reportMessage(item);
            ops.insert(op);
            // Through the wire's own encoding, as the channel carries it.
            const QCborMap carried = QCborValue::fromCbor(args.toCborValue().toCbor()).toMap();
            const std::optional<ClientReportItem> back = reportFromMessage(op, carried);
            QVERIFY2(back.has_value(), qPrintable(op));
            QVERIFY2(*back == item, qPrintable(op));
        }
        QCOMPARE(kinds.size(), std::variant_size_v<ClientReportItem>);
        QCOMPARE(ops.size(), std::variant_size_v<ClientReportItem>);
    }

    void malformedReportsAreRefused_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QCborMap>("args");
        using namespace SSHProtocol;
        QTest::newRow("no report") << askPass << QCborMap{{u"prompt"_s, u"Password:"_s}};
        QTest::newRow("unknown op") << u"reportWeather"_s << QCborMap();
        QTest::newRow("level past debug3")
            << reportLog << QCborMap{{u"level"_s, 8}, {u"content"_s, u"x"_s}};
        QTest::newRow("negative level")
            << reportLog << QCborMap{{u"level"_s, -1}, {u"content"_s, u"x"_s}};
        QTest::newRow("level as text")
            << reportLog << QCborMap{{u"level"_s, u"1"_s}, {u"content"_s, u"x"_s}};
        QTest::newRow("log without content") << reportLog << QCborMap{{u"level"_s, 1}};
        QTest::newRow("content as bytes")
            << reportLog << QCborMap{{u"level"_s, 1}, {u"content"_s, QByteArray("x")}};
        QTest::newRow("host without ip") << reportHost << QCborMap{{u"host"_s, u"h"_s}};
        QTest::newRow("port past 65535")
            << reportConnectInfo
            << QCborMap{{u"host"_s, u"h"_s}, {u"port"_s, 65536}, {u"user"_s, u"u"_s}};
        QTest::newRow("negative port")
            << reportConnectInfo
            << QCborMap{{u"host"_s, u"h"_s}, {u"port"_s, -22}, {u"user"_s, u"u"_s}};
        QTest::newRow("port as a fraction")
            << reportConnectInfo
            << QCborMap{{u"host"_s, u"h"_s}, {u"port"_s, 22.5}, {u"user"_s, u"u"_s}};
        QTest::newRow("method missing") << reportAuthMethod << QCborMap();
        QTest::newRow("identity as a number") << reportIdentity << QCborMap{{u"value"_s, 7}};
        QTest::newRow("direction as a number")
            << reportCipher << QCborMap{{u"name"_s, u"aes128-ctr"_s}, {u"ctos"_s, 1}};
        QTest::newRow("attempt zero") << reportAttempt << QCborMap{{u"attempt"_s, 0}};
        QTest::newRow("status past 255") << reportExit << QCborMap{{u"status"_s, 256}};
        QTest::newRow("status missing") << reportExit << QCborMap();
    }

    void malformedReportsAreRefused()
    {
        QFETCH(QString, op);
        QFETCH(QCborMap, args);
        QCOMPARE(reportFromMessage(op, args), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(ReportMessagesTest)
#include "tst_reportmessages.moc"
