// vellssh-askpass: the program SSH_ASKPASS names. It hands the client's one question to the
// service that started the client, over the socket and with the token the service put into
// the environment, together with a public key of its own; the answer comes back sealed for
// that key. It prints the answer, and exits non-zero when there is none.
#include "answercrypto.h"
#include "localized.h"
#include "messagechannel.h"
#include "privatefiles.h"
#include "programinformation.h"
#include "unixaddress.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Qt::StringLiterals;

namespace {

// Another user who could put a socket of theirs in its place could answer the question: the
// socket's folder must be this user's alone, and the process listening on it this user's. The
// token goes first, and only then: the service reads nothing else from a connection without it.
Result<UniqueFd> connectTo(const QString &path, const QByteArray &token)
{
    if (Status refused = verifyPrivateFolder(QFileInfo(path).absolutePath()))
        return *refused;
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const std::optional<sockaddr_un> address = unixSocketAddress(QFile::encodeName(path));
    if (!fd || !address)
        return Error(localized("The service's socket “%1” cannot be reached.").arg(path));
    if (::connect(fd.get(), asSockaddr(*address), sizeof *address) != 0)
        return Error(
            localized("The service's socket “%1” cannot be reached: %2").arg(path, systemReason()));
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != ::getuid())
        return Error(localized("The socket “%1” is served by another user (uid %2): the question "
                               "was not sent.")
                         .arg(path)
                         .arg(peer.uid));
    if (::send(fd.get(), token.constData(), size_t(token.size()), MSG_NOSIGNAL) != token.size())
        return Error(
            localized("The service's socket “%1” cannot be reached: %2").arg(path, systemReason()));
    return fd;
}

constexpr const char *helpText =
    "Usage: vellssh-askpass PROMPT\n"
    "The ask-pass helper of VellSSH: the OpenSSH client that VellSSH runs asks it\n"
    "for passwords, passphrases and confirmations, and it passes the question to\n"
    "VellSSH and prints the answer. It is not run by hand.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray path = qgetenv("VELLSSH_ASKPASS_SOCKET");
    const QByteArray token = qgetenv("VELLSSH_ASKPASS_TOKEN");
    // Only outside a run: there, the one argument is the client's question, whatever it reads.
    if (path.isEmpty()) {
        if (const std::optional<int> code =
                answerInformation(argc, argv, "vellssh-askpass", helpText))
            return *code;
    }
    QCoreApplication app(argc, argv);
    if (path.isEmpty() || token.isEmpty() || argc < 2) {
        fprintf(stderr, "vellssh-askpass: only VellSSH's SSH service runs this program.\n");
        return 2;
    }
    Result<UniqueFd> socket = connectTo(QFile::decodeName(path), token);
    if (!socket) {
        fprintf(stderr, "vellssh-askpass: %s\n", qPrintable(socket.error().message));
        return 1;
    }
    const std::unique_ptr<AnswerKey> key = AnswerKey::generate();
    if (!key)
        return 1;
    MessageChannel channel(std::move(socket).value());
    int code = 1;
    // Queued: a channel that closes while the question is being sent, before the event loop
    // runs, would otherwise ask a loop that has not started to end, and the helper would hang.
    QObject::connect(
        &channel, &MessageChannel::closed, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    channel.request(u"ask"_s,
                    {{u"prompt"_s, QString::fromLocal8Bit(argv[1])},
                     {u"confirm"_s, qgetenv("SSH_ASKPASS_PROMPT") == "confirm"},
                     {u"publicKeyPEM"_s, QString::fromLatin1(key->publicKeyPEM())}},
                    [&code, &key](Message &reply) {
                        const std::optional<QByteArray> answer =
                            key->open(reply.args.value(u"sealed"_s).toByteArray());
                        if (answer) {
                            printf("%s\n", answer->constData());
                            code = 0;
                        }
                        QCoreApplication::exit(code);
                    });
    app.exec();
    return code;
}
