#include "servicemanager.h"
#include "standarderrorlog.h"
#include "testenvironment.h"
#include "uniquefd.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A datagram socket bound to NAME (a leading '@' for the abstract namespace), as the service
// manager listens.
UniqueFd listenAt(const QByteArray &name)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (name.startsWith('@'))
        address.sun_path[0] = '\0';
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(name.size()));
    if (::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), length) != 0)
        return {};
    return fd;
}

QByteArray received(const UniqueFd &fd)
{
    char buffer[256];
    const ssize_t size = ::recv(fd.get(), buffer, sizeof buffer, 0);
    return size < 0 ? QByteArray() : QByteArray(buffer, size);
}

} // namespace

// What a service manager and the journal get from the application.
class ServiceOutputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theManagerIsToldOnItsSocket_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("path") << QFile::encodeName(QDir::tempPath() + u"/notify"_s);
        QTest::newRow("abstract") << "@vellssh-test-notify-" + QByteArray::number(::getpid());
    }

    void theManagerIsToldOnItsSocket()
    {
        QFETCH(QByteArray, name);
        const UniqueFd manager = listenAt(name);
        QVERIFY(manager);
        qputenv("NOTIFY_SOCKET", name);
        QVERIFY(ServiceManager::notify("READY=1"));
        QCOMPARE(received(manager), "READY=1");
        qunsetenv("NOTIFY_SOCKET");
    }

    void withoutAManagerNobodyIsTold()
    {
        qunsetenv("NOTIFY_SOCKET");
        QVERIFY(!ServiceManager::notify("READY=1"));
        qputenv("NOTIFY_SOCKET", "relative/socket");
        QVERIFY(!ServiceManager::notify("READY=1"));
        qputenv("NOTIFY_SOCKET", QFile::encodeName(QDir::tempPath() + u"/nobody"_s));
        QVERIFY(!ServiceManager::notify("READY=1"));
        qunsetenv("NOTIFY_SOCKET");
    }

    void standardErrorIsTheJournalOnlyWhenAnnounced()
    {
        struct stat status
        {
        };
        QCOMPARE(::fstat(STDERR_FILENO, &status), 0);
        const QByteArray own = QByteArray::number(quint64(status.st_dev)) + ':' +
                               QByteArray::number(quint64(status.st_ino));
        qunsetenv("JOURNAL_STREAM");
        QVERIFY(!StandardErrorLog::isJournal());
        qputenv("JOURNAL_STREAM", QByteArray::number(quint64(status.st_dev)) + ":1");
        QVERIFY(!StandardErrorLog::isJournal());
        qputenv("JOURNAL_STREAM", own);
        QVERIFY(StandardErrorLog::isJournal());
        qunsetenv("JOURNAL_STREAM");
    }

    void linesCarryTheirPriorityForTheJournal_data()
    {
        QTest::addColumn<QtMsgType>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QByteArray>("lines");
        QTest::newRow("terminal") << QtWarningMsg << u"io.vellssh.app: gone"_s << false
                                  << QByteArray("io.vellssh.app: gone\n");
        QTest::newRow("warning") << QtWarningMsg << u"io.vellssh.app: gone"_s << true
                                 << QByteArray("<4>io.vellssh.app: gone\n");
        QTest::newRow("critical") << QtCriticalMsg << u"x"_s << true << QByteArray("<3>x\n");
        QTest::newRow("info") << QtInfoMsg << u"x"_s << true << QByteArray("<6>x\n");
        QTest::newRow("debug") << QtDebugMsg << u"x"_s << true << QByteArray("<7>x\n");
        QTest::newRow("every line")
            << QtWarningMsg << u"one\ntwo"_s << true << QByteArray("<4>one\n<4>two\n");
        QTest::newRow("text") << QtInfoMsg << u"“db” ready"_s << false
                              << QByteArray("“db” ready\n");
    }

    void linesCarryTheirPriorityForTheJournal()
    {
        QFETCH(QtMsgType, type);
        QFETCH(QString, message);
        QFETCH(bool, journal);
        QFETCH(QByteArray, lines);
        QCOMPARE(StandardErrorLog::lines(type, message, journal), lines);
    }
};

VELL_TEST_MAIN(ServiceOutputTest)
#include "tst_serviceoutput.moc"
