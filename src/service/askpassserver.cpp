#include "askpassserver.h"

#include "localized.h"
#include "messagechannel.h"
#include "privatefiles.h"
#include "reportmessages.h"
#include "sshprotocol.h"
#include "unixaddress.h"

#include <QDir>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QRegularExpression socketName(u"^askpass-(\\d+)-[0-9a-f]+\\.sock$"_s);

Result<QString> socketFolder(const QString &runtimeDirectory)
{
    const QString base = runtimeDirectory.isEmpty()
                             ? QDir::tempPath() + u"/vellssh-%1"_s.arg(::getuid())
                             : runtimeDirectory;
    for (const QString &folder : {base, base + u"/vellssh"_s}) {
        if (Status refused = makePrivateFolder(folder))
            return *refused;
    }
    return base + u"/vellssh"_s;
}

bool somebodyListens(const QByteArray &path)
{
    const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const std::optional<sockaddr_un> address = unixSocketAddress(path);
    if (!probe || !address)
        return true;
    return ::connect(probe.get(), asSockaddr(*address), sizeof *address) == 0 ||
           errno != ECONNREFUSED;
}

// A killed service cannot remove its socket. A socket is left over only when the process its
// name gives is gone and nothing listens on it: a live service between bind and listen refuses
// connections, and the pid of a service in another pid namespace may name nobody here.
void removeStaleSockets(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = socketName.match(name);
        if (!match.hasMatch())
            continue;
        const pid_t pid = pid_t(match.captured(1).toLongLong());
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        if ((::kill(pid, 0) != 0 && errno == ESRCH) && !somebodyListens(path))
            ::unlink(path.constData());
    }
}

QByteArray randomHex(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    for (char &byte : random)
        byte = char(QRandomGenerator::system()->bounded(256));
    return random.toHex();
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= (unsigned char)(a[i] ^ b[i]);
    return difference == 0;
}

Error socketError(const QString &path)
{
    return Error(
        localized("The ask-pass socket “%1” cannot be made: %2").arg(path, systemReason()));
}

} // namespace

AskPassServer::AskPassServer(MessageChannel *application, QObject *parent)
    : QObject(parent), m_application(application)
{}

AskPassServer::~AskPassServer()
{
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
}

QString AskPassServer::relayedPrompt(const QString &clientPrompt)
{
    static const QRegularExpression interactive(u"^\\(([^()\\s]+@[^()\\s]+)\\) (.*)$"_s,
                                                QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = interactive.match(clientPrompt);
    if (!match.hasMatch())
        return clientPrompt;
    return u"Answer "_s + match.captured(1) + u"'s question - "_s + match.captured(2);
}

Status AskPassServer::listen(const QString &runtimeDirectory)
{
    const Result<QString> folder = socketFolder(runtimeDirectory);
    if (!folder)
        return folder.error();
    removeStaleSockets(*folder);
    // The socket's name tells nothing of the token: anyone who can list the folder reads it.
    m_token = randomHex(16);
    const QString path =
        *folder + u"/askpass-%1-%2.sock"_s.arg(::getpid()).arg(QString::fromLatin1(randomHex(6)));
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const std::optional<sockaddr_un> address = unixSocketAddress(QFile::encodeName(path));
    if (!address)
        return Error(
            localized("The ask-pass socket “%1” cannot be made: the path is too long.").arg(path));
    if (!listener)
        return socketError(path);
    const mode_t previous = ::umask(0177);
    const bool bound = ::bind(listener.get(), asSockaddr(*address), sizeof *address) == 0;
    ::umask(previous);
    if (!bound)
        return socketError(path);
    m_path = path;
    if (::listen(listener.get(), SOMAXCONN) != 0)
        return socketError(path);
    m_listener = std::move(listener);
    m_notifier = std::make_unique<QSocketNotifier>(m_listener.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &AskPassServer::accept);
    return std::nullopt;
}

// A helper's connection until it has sent the run's token; nothing it sends is parsed before.
struct AskPassServer::Arrival
{
    UniqueFd socket;
    QByteArray token;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer deadline;
};

void AskPassServer::accept()
{
    for (;;) {
        UniqueFd client(
            ::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client)
            return;
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
            peer.uid != ::getuid())
            continue;
        auto arrival = std::make_unique<Arrival>();
        Arrival *raw = arrival.get();
        raw->socket = std::move(client);
        raw->notifier = std::make_unique<QSocketNotifier>(raw->socket.get(), QSocketNotifier::Read);
        connect(raw->notifier.get(), &QSocketNotifier::activated, this,
                [this, raw] { readToken(raw); });
        raw->deadline.setSingleShot(true);
        connect(&raw->deadline, &QTimer::timeout, this, [this, raw] { drop(raw); });
        raw->deadline.start(tokenWaitMs);
        m_arrivals.push_back(std::move(arrival));
    }
}

void AskPassServer::readToken(Arrival *arrival)
{
    const qsizetype wanted = m_token.size() - arrival->token.size();
    QByteArray bytes(wanted, Qt::Uninitialized);
    const ssize_t count = ::recv(arrival->socket.get(), bytes.data(), size_t(wanted), 0);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (count <= 0) {
        drop(arrival);
        return;
    }
    arrival->token += bytes.left(count);
    if (arrival->token.size() < m_token.size())
        return;
    // Judged whole and in constant time, so that no answer tells how much of it was right.
    if (!sameBytes(arrival->token, m_token)) {
        drop(arrival);
        return;
    }
    auto *helper = new MessageChannel(std::move(arrival->socket), this);
    drop(arrival);
    connect(helper, &MessageChannel::closed, helper, &QObject::deleteLater);
    connect(helper, &MessageChannel::received, this, [this, helper](Message &message) {
        if (message.op != u"ask"_s) {
            helper->close(u"ask-pass request refused"_s);
            return;
        }
        ask(helper, message.id, message.args.value(u"prompt"_s).toString(),
            message.args.value(u"confirm"_s).toBool(),
            message.args.value(u"publicKeyPEM"_s).toString());
    });
}

void AskPassServer::drop(Arrival *arrival)
{
    // Called from the arrival's own notifier or timer: they go once their signal is done.
    arrival->notifier->setEnabled(false);
    arrival->deadline.stop();
    arrival->socket.reset();
    QMetaObject::invokeMethod(
        this,
        [this, arrival] {
            std::erase_if(m_arrivals, [arrival](const auto &a) { return a.get() == arrival; });
        },
        Qt::QueuedConnection);
}

void AskPassServer::ask(MessageChannel *helper, quint64 id, const QString &clientPrompt,
                        bool confirm, const QString &publicKeyPEM)
{
    const QString prompt = relayedPrompt(clientPrompt);
    const int attempt = ++m_attempts[prompt];
    const auto [op, args] = reportMessage(ClientReport::Attempt{attempt});
    m_application->send(op, args);
    const bool secret = !confirm && !prompt.contains(u"(yes/no"_s);
    const QPointer<MessageChannel> target(helper);
    if (m_open++ == 0)
        Q_EMIT askingChanged();
    m_application->request(
        SSHProtocol::askPass,
        {{u"prompt"_s, prompt}, {u"echo"_s, false}, {u"publicKeyPEM"_s, publicKeyPEM}},
        [this, target, id, secret](Message &reply) {
            if (--m_open == 0)
                Q_EMIT askingChanged();
            const QCborValue sealed = reply.args.value(u"answer"_s);
            if (!sealed.isByteArray() && secret)
                Q_EMIT secretRefused();
            if (target) {
                target->reply(id, sealed.isByteArray() ? QCborMap{{u"sealed"_s, sealed}}
                                                       : QCborMap{{u"cancelled"_s, true}});
            }
        });
}
