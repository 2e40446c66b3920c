#include "reportmessages.h"

#include "sshprotocol.h"

#include <QHash>

#include <limits>

using namespace Qt::StringLiterals;
namespace R = ClientReport;

namespace {

using Message = std::pair<QString, QCborMap>;

struct Encoder
{
    Message operator()(const R::Log &r) const
    {
        return {SSHProtocol::reportLog, {{u"level"_s, int(r.level)}, {u"content"_s, r.text}}};
    }
    Message operator()(const R::HostWithHost &r) const
    {
        return {SSHProtocol::reportHost, {{u"host"_s, r.host}, {u"ip"_s, r.ip}}};
    }
    Message operator()(const R::ConnectInfo &r) const
    {
        return {SSHProtocol::reportConnectInfo,
                {{u"host"_s, r.host}, {u"port"_s, r.port}, {u"user"_s, r.user}}};
    }
    Message operator()(const R::Authenticating &) const
    {
        return {SSHProtocol::reportAuthenticating, {}};
    }
    Message operator()(const R::Jumping &) const { return {SSHProtocol::reportJumping, {}}; }
    Message operator()(const R::Multiplexing &) const
    {
        return {SSHProtocol::reportMultiplexing, {}};
    }
    Message operator()(const R::Connected &) const { return {SSHProtocol::reportConnected, {}}; }
    Message operator()(const R::Authenticated &) const
    {
        return {SSHProtocol::reportAuthenticated, {}};
    }
    Message operator()(const R::HostKeyRefused &) const
    {
        return {SSHProtocol::reportHostKeyRefused, {}};
    }
    Message operator()(const R::AuthMethod &r) const
    {
        return {SSHProtocol::reportAuthMethod, {{u"value"_s, r.method}}};
    }
    Message operator()(const R::Identity &r) const
    {
        return {SSHProtocol::reportIdentity, {{u"value"_s, r.path}}};
    }
    Message operator()(const R::HostKey &r) const
    {
        return {SSHProtocol::reportHostKey, {{u"value"_s, r.key}}};
    }
    Message operator()(const R::Algorithm &r) const
    {
        return {SSHProtocol::reportAlgorithm, {{u"value"_s, r.name}}};
    }
    Message operator()(const R::Cipher &r) const
    {
        return {SSHProtocol::reportCipher, {{u"name"_s, r.name}, {u"ctos"_s, r.clientToServer}}};
    }
    Message operator()(const R::RunRefused &) const { return {SSHProtocol::reportRunRefused, {}}; }
    Message operator()(const R::Attempt &r) const
    {
        return {SSHProtocol::reportAttempt, {{u"attempt"_s, r.attempt}}};
    }
    Message operator()(const R::Exit &r) const
    {
        return {SSHProtocol::reportExit, {{u"status"_s, r.status}}};
    }
};

std::optional<QString> text(const QCborMap &args, const char *key)
{
    const QCborValue value = args.value(QLatin1StringView(key));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

template<class T>
std::optional<T> integer(const QCborMap &args, const char *key, qint64 lowest, qint64 highest)
{
    const QCborValue value = args.value(QLatin1StringView(key));
    if (!value.isInteger() || value.toInteger() < lowest || value.toInteger() > highest)
        return std::nullopt;
    return T(value.toInteger());
}

std::optional<bool> flag(const QCborMap &args, const char *key)
{
    const QCborValue value = args.value(QLatin1StringView(key));
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

// The report, when every one of its fields was read.
template<class Report, class... Fields>
std::optional<ClientReportItem> made(const std::optional<Fields> &...fields)
{
    if (!(fields && ...))
        return std::nullopt;
    return Report{*fields...};
}

using Decoder = std::optional<ClientReportItem> (*)(const QCborMap &args);

template<class Report>
std::optional<ClientReportItem> bare(const QCborMap &)
{
    return Report{};
}

std::optional<ClientReportItem> logReport(const QCborMap &a)
{
    return made<R::Log>(
        integer<OpenSSHLevel>(a, "level", int(OpenSSHLevel::quiet), int(OpenSSHLevel::debug3)),
        text(a, "content"));
}

std::optional<ClientReportItem> hostReport(const QCborMap &a)
{
    return made<R::HostWithHost>(text(a, "host"), text(a, "ip"));
}

std::optional<ClientReportItem> connectInfoReport(const QCborMap &a)
{
    return made<R::ConnectInfo>(text(a, "host"), integer<quint16>(a, "port", 0, 65535),
                                text(a, "user"));
}

template<class Report>
std::optional<ClientReportItem> valueReport(const QCborMap &a)
{
    return made<Report>(text(a, "value"));
}

std::optional<ClientReportItem> cipherReport(const QCborMap &a)
{
    return made<R::Cipher>(text(a, "name"), flag(a, "ctos"));
}

std::optional<ClientReportItem> attemptReport(const QCborMap &a)
{
    return made<R::Attempt>(integer<qint64>(a, "attempt", 1, std::numeric_limits<qint64>::max()));
}

// An exit code, or 128 and the number of the signal that ended the client.
std::optional<ClientReportItem> exitReport(const QCborMap &a)
{
    return made<R::Exit>(integer<int>(a, "status", 0, 255));
}

const QHash<QString, Decoder> &decoders()
{
    using namespace SSHProtocol;
    static const QHash<QString, Decoder> table = {
        {reportLog, logReport},
        {reportHost, hostReport},
        {reportConnectInfo, connectInfoReport},
        {reportAuthenticating, bare<R::Authenticating>},
        {reportJumping, bare<R::Jumping>},
        {reportMultiplexing, bare<R::Multiplexing>},
        {reportConnected, bare<R::Connected>},
        {reportAuthenticated, bare<R::Authenticated>},
        {reportHostKeyRefused, bare<R::HostKeyRefused>},
        {reportAuthMethod, valueReport<R::AuthMethod>},
        {reportIdentity, valueReport<R::Identity>},
        {reportHostKey, valueReport<R::HostKey>},
        {reportAlgorithm, valueReport<R::Algorithm>},
        {reportCipher, cipherReport},
        {reportRunRefused, bare<R::RunRefused>},
        {reportAttempt, attemptReport},
        {reportExit, exitReport},
    };
    return table;
}

} // namespace

std::pair<QString, QCborMap> reportMessage(const ClientReportItem &item)
{
    return std::visit(Encoder{}, item);
}

std::optional<ClientReportItem> reportFromMessage(const QString &op, const QCborMap &args)
{
    const Decoder decode = decoders().value(op);
    return decode ? decode(args) : std::nullopt;
}
