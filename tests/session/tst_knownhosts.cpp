#include "knownhostsparser.h"
#include "testenvironment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Status_ = KnownHostEntry::Status;

class KnownHostsTest : public QObject
{
    Q_OBJECT

    static QList<KnownHostEntry> load(const QString &path, QString *error = nullptr)
    {
        KnownHostsParser parser(QStringLiteral(VELLSSH_SERVICE));
        std::optional<Result<QList<KnownHostEntry>>> result;
        parser.load(path, [&](Result<QList<KnownHostEntry>> r) { result = std::move(r); });
        QDeadlineTimer deadline(20000);
        while (!result && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        if (!result)
            return {};
        if (!*result) {
            if (error)
                *error = result->error().message;
            return {};
        }
        return result->value();
    }

private Q_SLOTS:
    void linesAreReadAsTheirKind_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("hosts");
        QTest::addColumn<QString>("rawkey");
        QTest::newRow("plain") << u"db.example,10.0.0.5 ssh-ed25519 AAAAC3Nza comment"_s
                               << int(Status_::ok) << QString() << u"db.example,10.0.0.5"_s
                               << u"ssh-ed25519 AAAAC3Nza"_s;
        QTest::newRow("port") << u"[127.0.0.1]:2222 ecdsa-sha2-nistp256 AAAA"_s << int(Status_::ok)
                              << QString() << u"[127.0.0.1]:2222"_s
                              << u"ecdsa-sha2-nistp256 AAAA"_s;
        QTest::newRow("hashed") << u"|1|c2FsdA==|aGFzaA== ssh-rsa AAAAB3"_s << int(Status_::ok)
                                << QString() << u"|1|c2FsdA==|aGFzaA=="_s << u"ssh-rsa AAAAB3"_s;
        QTest::newRow("cert authority")
            << u"@cert-authority *.example ssh-ed25519 AAAA"_s << int(Status_::ok)
            << u"@cert-authority"_s << u"*.example"_s << u"ssh-ed25519 AAAA"_s;
        QTest::newRow("comment") << u"# trusted"_s << int(Status_::comment) << QString()
                                 << QString() << QString();
        QTest::newRow("blank") << u"   "_s << int(Status_::comment) << QString() << QString()
                               << QString();
        QTest::newRow("no key") << u"host ssh-ed25519"_s << int(Status_::invalid) << QString()
                                << QString() << QString();
        QTest::newRow("bad base64") << u"host ssh-ed25519 !!!"_s << int(Status_::invalid)
                                    << QString() << QString() << QString();
        QTest::newRow("certificate")
            << u"h ssh-ed25519-cert-v01@openssh.com AAAA"_s << int(Status_::ok) << QString()
            << u"h"_s << u"ssh-ed25519-cert-v01@openssh.com AAAA"_s;
        QTest::newRow("security key cert")
            << u"h sk-ecdsa-sha2-nistp256-cert-v01@openssh.com AAAA"_s << int(Status_::ok)
            << QString() << u"h"_s << u"sk-ecdsa-sha2-nistp256-cert-v01@openssh.com AAAA"_s;
        QTest::newRow("unknown key type") << u"garbage line here"_s << int(Status_::invalid)
                                          << QString() << QString() << QString();
        QTest::newRow("unknown certificate")
            << u"h made-up-cert-v01@openssh.com AAAA"_s << int(Status_::invalid) << QString()
            << QString() << QString();
        QTest::newRow("unknown marker")
            << u"@whatever host ssh-ed25519 AAAA"_s << int(Status_::invalid) << QString()
            << QString() << QString();
    }
    void linesAreReadAsTheirKind()
    {
        QFETCH(QString, line);
        QFETCH(QString, marker);
        QFETCH(QString, hosts);
        QFETCH(QString, rawkey);
        const KnownHostEntry entry = KnownHostEntry::fromLine(line);
        QCOMPARE(entry.content, line);
        QTEST(int(entry.status), "status");
        QCOMPARE(entry.marker.value_or(QString()), marker);
        QCOMPARE(entry.hosts.value_or(QString()), hosts);
        QCOMPARE(entry.rawkey.value_or(QString()), rawkey);
    }

    void theJSONForm()
    {
        const QList<KnownHostEntry> entries = {{u"# trusted"_s, Status_::comment, {}, {}, {}},
                                               KnownHostEntry::fromLine(u"h ssh-ed25519 AAAA"_s)};
        const QByteArray json = knownHostsJSON(entries);
        QCOMPARE(json, QByteArray(R"([{"content":"# trusted","status":{"comment":{}}},)"
                                  R"({"content":"h ssh-ed25519 AAAA","hosts":"h",)"
                                  R"("rawkey":"ssh-ed25519 AAAA","status":{"ok":{}}}])"));
        QCOMPARE(*knownHostsFromJSON(json), entries);
        QVERIFY(!knownHostsFromJSON(R"([{"content":"x","status":{"unknown":{}}}])").ok());
        QVERIFY(!knownHostsFromJSON(R"([{"status":{"ok":{}}}])").ok());
        QVERIFY(!knownHostsFromJSON(R"({"content":"x"})").ok());
        QCOMPARE(knownHostsFromJSON("[]")->size(), 0);
    }

    void bigFilesLoadAndOddFilesFailPromptly()
    {
        const QString folder = QDir::tempPath() + u"/odd"_s;
        QVERIFY(QDir().mkpath(folder));
        const QString big = folder + u"/known_hosts"_s;
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray key = "ssh-rsa AAAAB3NzaC1yc2E" + QByteArray(300, 'A');
        for (int i = 0; i < 3000; ++i)
            file.write("host" + QByteArray::number(i) + ".example " + key + '\n');
        file.close();
        const QList<KnownHostEntry> entries = load(big);
        QCOMPARE(entries.size(), 3000);
        QCOMPARE(entries.last().hosts, u"host2999.example"_s);

        const QString fifo = folder + u"/fifo"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QString error;
        QVERIFY(load(fifo, &error).isEmpty());
        QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));

        const QString oversized = folder + u"/oversized"_s;
        QFile sparse(oversized);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(qint64(64) << 20));
        sparse.close();
        error.clear();
        QVERIFY(load(oversized, &error).isEmpty());
        QVERIFY2(error.contains(u"larger than"_s), qPrintable(error));
    }

    void loadAndDumpThroughTheService()
    {
        const QString path = QDir::tempPath() + u"/ssh/known_hosts"_s;
        QCOMPARE(load(path).size(), 0);

        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# lab\n[127.0.0.1]:22022 ssh-ed25519 AAAAC3Nza\ngarbage line here\n");
        file.close();
        QList<KnownHostEntry> entries = load(path);
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[1].hosts, u"[127.0.0.1]:22022"_s);
        QCOMPARE(entries[2].status, Status_::invalid);

        entries.removeAt(2);
        entries.append({u"new.example ssh-ed25519 AAAB"_s, Status_::ok, {}, {}, {}});
        KnownHostsParser parser(QStringLiteral(VELLSSH_SERVICE));
        std::optional<Status> dumped;
        parser.dump(path, entries, [&](Status s) { dumped = s; });
        QTRY_VERIFY_WITH_TIMEOUT(dumped.has_value(), 20000);
        QVERIFY(!*dumped);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("# lab\n[127.0.0.1]:22022 ssh-ed25519 AAAAC3Nza\n"
                                            "new.example ssh-ed25519 AAAB\n"));
        QCOMPARE(load(path).last().hosts, u"new.example"_s);

        QString error;
        QVERIFY(load(QDir::tempPath(), &error).isEmpty());
        QVERIFY(!error.isEmpty());
    }
};

VELL_TEST_MAIN(KnownHostsTest)
#include "tst_knownhosts.moc"
