// vellssh-askpass: the program SSH_ASKPASS names. It hands the client's one question to the
// service that started the client, over the socket and with the token the service put into
// the environment, together with a public key of its own; the answer comes back sealed for
// that key. It prints the answer, and exits non-zero when there is none.
#include "answercrypto.h"
#include "messagechannel.h"

#include <QCoreApplication>

#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Qt::StringLiterals;

namespace {

// The token goes first: the service reads nothing else from a connection without it.
UniqueFd connectTo(const QByteArray &path, const QByteArray &token)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!fd || path.size() >= qsizetype(sizeof address.sun_path))
        return {};
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    if (::connect(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::send(fd.get(), token.constData(), size_t(token.size()), MSG_NOSIGNAL) != token.size())
        return {};
    return fd;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray path = qgetenv("VELLSSH_ASKPASS_SOCKET");
    const QByteArray token = qgetenv("VELLSSH_ASKPASS_TOKEN");
    if (path.isEmpty() || token.isEmpty() || argc < 2) {
        fprintf(stderr, "vellssh-askpass: only VellSSH's SSH service runs this program.\n");
        return 2;
    }
    UniqueFd socket = connectTo(path, token);
    const std::unique_ptr<AnswerKey> key = AnswerKey::generate();
    if (!socket || !key)
        return 1;
    MessageChannel channel(std::move(socket));
    int code = 1;
    QObject::connect(&channel, &MessageChannel::closed, &app, [] { QCoreApplication::exit(1); });
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
