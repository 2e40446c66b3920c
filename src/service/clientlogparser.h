#pragma once

#include "linesplitter.h"

#include <QByteArray>
#include <QList>
#include <QString>

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

// What one line of the client's log tells: the line itself with its level, and the progress
// reports it implies.
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
} // namespace ClientReport

using ClientReportItem =
    std::variant<ClientReport::Log, ClientReport::HostWithHost, ClientReport::ConnectInfo,
                 ClientReport::Authenticating, ClientReport::Jumping, ClientReport::Multiplexing,
                 ClientReport::Connected, ClientReport::Authenticated, ClientReport::HostKeyRefused,
                 ClientReport::AuthMethod, ClientReport::Identity, ClientReport::HostKey,
                 ClientReport::Algorithm, ClientReport::Cipher>;

// The level of one line: debug lines by their prefix; unprefixed lines are informational when
// they are one of the client's known progress messages, fatal when they name the strict host-key
// check that stops the run (so that the reason, not the bare "Host key verification failed.",
// becomes the session's summary), and errors otherwise, so that a normal end never leaves
// "Transferred: ..." as a session's last error.
OpenSSHLevel levelOfLine(const QString &line);

// Follows one client run's log (at debug1 or more) and turns it into reports. Jump hosts run as
// child clients on the same log: their lines are told apart by counting proxy commands, the
// banners of the clients they start and established sessions, so that only the target
// connection's details are reported and a jump client's lines carry "[host] ". A run that hands
// its work to a master connection is a mux client from its first request on, and its lines carry
// "[mux] ".
class ClientLogParser
{
public:
    // Takes bytes as they arrive; complete lines (CR LF or LF) are parsed, the rest is kept (a
    // line past the splitter's limit is cut there).
    QList<ClientReportItem> feed(const QByteArray &bytes);
    // The last incomplete line, when the client has gone.
    QList<ClientReportItem> finish();
    QList<ClientReportItem> parseLine(const QString &line);

private:
    // Jump clients are the ones that have spoken: a proxy command that is not a client writes no
    // banner and no session of its own.
    bool atTarget() const { return m_sessions >= m_jumpBanners; }
    // Who wrote the line: the target's client (empty), a jump client or a mux client.
    QString speakerPrefix() const;
    void followSpeaker(const QString &text);

    LineSplitter m_lines;
    // The host of every proxy command, in the order they were started; each is nested in the
    // one before it.
    QStringList m_jumpHosts;
    qsizetype m_jumpBanners = 0;
    qsizetype m_sessions = 0;
    bool m_muxClient = false;
    bool m_targetAuthenticating = false;
    bool m_authenticatingReported = false;
    bool m_multiplexingReported = false;
    bool m_connected = false;
};
