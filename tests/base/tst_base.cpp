#include "descriptors.h"
#include "privatefiles.h"
#include "uuidtext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool closesOnExec(const UniqueFd &fd)
{
    return (::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC) != 0;
}

void writeAll(const UniqueFd &fd, const QByteArray &bytes)
{
    QCOMPARE(::write(fd.get(), bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t fileType(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// A socket bound at the path, there for as long as the descriptor is open.
UniqueFd boundSocket(const QString &path)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return {};
    return fd;
}

} // namespace

class BaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newDescriptorsStayOutOfChildren()
    {
        auto [read, write] = makePipe();
        QVERIFY(read && write);
        QVERIFY(closesOnExec(read) && closesOnExec(write));
        auto [one, other] = makeSocketPair();
        QVERIFY(one && other);
        QVERIFY(closesOnExec(one) && closesOnExec(other));
        writeAll(one, "ping");
        char buffer[4];
        QCOMPARE(::read(other.get(), buffer, sizeof buffer), ssize_t(4));
    }

    // A reader takes everything there is in one turn, and learns the writer has gone only after
    // the last byte, however much was written.
    void aDrainTakesAllThereIsAndTellsTheEnd()
    {
        auto [read, write] = makePipe();
        setNonBlocking(read.get());
        QByteArray taken;
        const auto take = [&taken](QByteArrayView chunk) { taken.append(chunk); };
        QCOMPARE(drainAvailable(read.get(), take), Drain::wouldBlock);
        QVERIFY(taken.isEmpty());

        const QByteArray first(40000, 'a');
        writeAll(write, first);
        QCOMPARE(drainAvailable(read.get(), take), Drain::wouldBlock);
        QCOMPARE(taken, first);

        // More than one read's worth, then the end: nothing is left behind.
        taken.clear();
        const QByteArray rest = QByteArray(30000, 'b') + QByteArray(30000, 'c');
        writeAll(write, rest);
        write.reset();
        QCOMPARE(drainAvailable(read.get(), take), Drain::ended);
        QCOMPARE(taken, rest);
    }

    void aDescriptorThatCannotBeReadEndsTheDrain()
    {
        auto [read, write] = makePipe();
        int calls = 0;
        QCOMPARE(drainAvailable(write.get(), [&calls](QByteArrayView) { ++calls; }), Drain::ended);
        QCOMPARE(calls, 0);
    }

    void uuidTextsReadBackWhateverTheirForm()
    {
        const QUuid uuid = QUuid::createUuid();
        const QString text = uuidText(uuid);
        QCOMPARE(text, text.toUpper());
        QVERIFY(!text.contains(u'{'));
        QCOMPARE(uuidFromText(text), uuid);
        QCOMPARE(uuidFromText(text.toLower()), uuid);
        QCOMPARE(uuidFromText(uuid.toString()), uuid);
        QCOMPARE(uuidText(std::optional<QUuid>()), QString());
        QCOMPARE(uuidText(std::optional(uuid)), text);

        for (const QString &none : {QString(), u"web"_s, text.left(35), QUuid().toString()})
            QCOMPARE(uuidFromText(none), std::nullopt);
    }

    // A link stays a link, and the file it leads to gets the contents, made where the link
    // leads nowhere yet.
    void aPrivateWriteGoesThroughLinks()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"file"_s);
        const QString link = dir.filePath(u"link"_s);
        QVERIFY(!writePrivateFile(file, "old"));
        QVERIFY(QFile::link(u"file"_s, link));
        QVERIFY(!writePrivateFile(link, "new"));
        QCOMPARE(fileType(link), mode_t(S_IFLNK));
        QCOMPARE(contents(file), "new");
        QCOMPARE(QFile::permissions(file) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
        const QString chain = dir.filePath(u"chain"_s);
        QVERIFY(QFile::link(dir.filePath(u"dangling"_s), chain));
        QVERIFY(QFile::link(u"sub/made"_s, dir.filePath(u"dangling"_s)));
        QVERIFY(!writePrivateFile(chain, "made"));
        QCOMPARE(fileType(chain), mode_t(S_IFLNK));
        QCOMPARE(contents(dir.filePath(u"sub/made"_s)), "made");

        const QString nowhere = dir.filePath(u"nowhere"_s);
        QVERIFY(QFile::link(dir.filePath(u"missing/file"_s), nowhere));
        QVERIFY(writePrivateFile(nowhere, "lost"));
        QCOMPARE(fileType(nowhere), mode_t(S_IFLNK));

        // A link that is not followed is replaced, and what it led to stays as it was.
        QVERIFY(!writePrivateFile(link, "own", Links::refuse));
        QCOMPARE(fileType(link), mode_t(S_IFREG));
        QCOMPARE(contents(file), "new");

        const QStringList left =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left, (QStringList{u"chain"_s, u"dangling"_s, u"file"_s, u"link"_s, u"nowhere"_s,
                                    u"sub"_s}));
    }

    // A device, a FIFO, a socket or a folder is never swapped for a regular file, nor is one
    // that a link leads to.
    void aPrivateWriteRefusesWhatIsNoFile()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(u"fifo"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString folder = dir.filePath(u"folder"_s);
        QVERIFY(QDir(dir.path()).mkdir(u"folder"_s));
        const QString socket = dir.filePath(u"socket"_s);
        const UniqueFd bound = boundSocket(socket);
        QVERIFY(bound);
        QStringList paths{fifo, folder, socket};
        const QString device = dir.filePath(u"null"_s);
        if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0)
            paths.append(device);
        else
            qInfo("no device node: only root may make one");

        for (const QString &path : paths) {
            const mode_t type = fileType(path);
            const QString link = path + u"-link"_s;
            QVERIFY(QFile::link(path, link));
            for (const QString &written : {path, link}) {
                const Status refused = writePrivateFile(written, "x");
                QVERIFY2(refused, qPrintable(written));
                QCOMPARE(refused->message, u"“%1” is not a regular file."_s.arg(path));
            }
            QCOMPARE(fileType(path), type);
            QCOMPARE(fileType(link), mode_t(S_IFLNK));
        }
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(BaseTest)
#include "tst_base.moc"
