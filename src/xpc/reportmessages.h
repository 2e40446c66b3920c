#pragma once

#include <QCborMap>
#include <QString>

#include <optional>
#include <utility>
#include <variant>

// The OpenSSH client's log levels, as it numbers them.
enum class OpenSSHLevel
{
    quiet = 0,
    fatal = 1,
    error = 2,
    info = 3,
    verbose = 4,
    debug1 = 5,
    debug2 = 6,
    debug3 = 7
};

// What the service tells the application about one client run: each line of the client's log
// with its level, the progress that the lines imply, and the run's own events.
namespace ClientReport {
struct Log
{
    OpenSSHLevel level;
    QString text;
    friend bool operator==(const Log &, const Log &) = default;
};
struct HostWithHost
{
    QString host;
    QString ip;
    friend bool operator==(const HostWithHost &, const HostWithHost &) = default;
};
struct ConnectInfo
{
    QString host;
    quint16 port = 0;
    QString user;
    friend bool operator==(const ConnectInfo &, const ConnectInfo &) = default;
};
struct Authenticating
{
    friend bool operator==(const Authenticating &, const Authenticating &) = default;
};
struct Jumping
{
    friend bool operator==(const Jumping &, const Jumping &) = default;
};
struct Multiplexing
{
    friend bool operator==(const Multiplexing &, const Multiplexing &) = default;
};
struct Connected
{
    friend bool operator==(const Connected &, const Connected &) = default;
};
// The target accepted the login: whatever ends the run from here on is not a refused login.
struct Authenticated
{
    friend bool operator==(const Authenticated &, const Authenticated &) = default;
};
// The client would not trust the server's host key; trying again cannot change that.
struct HostKeyRefused
{
    friend bool operator==(const HostKeyRefused &, const HostKeyRefused &) = default;
};
struct AuthMethod
{
    QString method;
    friend bool operator==(const AuthMethod &, const AuthMethod &) = default;
};
struct Identity
{
    QString path;
    friend bool operator==(const Identity &, const Identity &) = default;
};
struct HostKey
{
    QString key;
    friend bool operator==(const HostKey &, const HostKey &) = default;
};
struct Algorithm
{
    QString name;
    friend bool operator==(const Algorithm &, const Algorithm &) = default;
};
struct Cipher
{
    QString name;
    bool clientToServer = false;
    friend bool operator==(const Cipher &, const Cipher &) = default;
};
// The service would not start the run; trying again cannot change its reason.
struct RunRefused
{
    friend bool operator==(const RunRefused &, const RunRefused &) = default;
};
// How often the client has asked the question that follows, counting this time.
struct Attempt
{
    qint64 attempt = 1;
    friend bool operator==(const Attempt &, const Attempt &) = default;
};
// The client has ended, with its exit status (128 and the signal when one ended it).
struct Exit
{
    int status = 0;
    friend bool operator==(const Exit &, const Exit &) = default;
};
} // namespace ClientReport

using ClientReportItem =
    std::variant<ClientReport::Log, ClientReport::HostWithHost, ClientReport::ConnectInfo,
                 ClientReport::Authenticating, ClientReport::Jumping, ClientReport::Multiplexing,
                 ClientReport::Connected, ClientReport::Authenticated, ClientReport::HostKeyRefused,
                 ClientReport::AuthMethod, ClientReport::Identity, ClientReport::HostKey,
                 ClientReport::Algorithm, ClientReport::Cipher, ClientReport::RunRefused,
                 ClientReport::Attempt, ClientReport::Exit>;

// The service-protocol message of one report: its operation and arguments.
std::pair<QString, QCborMap> reportMessage(const ClientReportItem &item);
// The report that a message carries; nothing for an operation that is no report, or arguments
// that are missing, of the wrong type or out of range.
std::optional<ClientReportItem> reportFromMessage(const QString &op, const QCborMap &args);
