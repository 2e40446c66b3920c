#include "reportmessages.h"

#include "sshprotocol.h"

using namespace Qt::StringLiterals;
namespace R = ClientReport;

namespace {

struct Encoder
{
    std::pair<QString, QCborMap> operator()(const R::Log &r) const
    {
        return {SSHProtocol::reportLog, {{u"level"_s, int(r.level)}, {u"content"_s, r.text}}};
    }
    std::pair<QString, QCborMap> operator()(const R::HostWithHost &r) const
    {
        return {SSHProtocol::reportHost, {{u"host"_s, r.host}, {u"ip"_s, r.ip}}};
    }
    std::pair<QString, QCborMap> operator()(const R::ConnectInfo &r) const
    {
        return {SSHProtocol::reportConnectInfo,
                {{u"host"_s, r.host}, {u"port"_s, r.port}, {u"user"_s, r.user}}};
    }
    std::pair<QString, QCborMap> operator()(const R::Authenticating &) const
    {
        return {SSHProtocol::reportAuthenticating, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::Jumping &) const
    {
        return {SSHProtocol::reportJumping, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::Multiplexing &) const
    {
        return {SSHProtocol::reportMultiplexing, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::Connected &) const
    {
        return {SSHProtocol::reportConnected, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::Authenticated &) const
    {
        return {SSHProtocol::reportAuthenticated, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::HostKeyRefused &) const
    {
        return {SSHProtocol::reportHostKeyRefused, {}};
    }
    std::pair<QString, QCborMap> operator()(const R::AuthMethod &r) const
    {
        return {SSHProtocol::reportAuthMethod, {{u"value"_s, r.method}}};
    }
    std::pair<QString, QCborMap> operator()(const R::Identity &r) const
    {
        return {SSHProtocol::reportIdentity, {{u"value"_s, r.path}}};
    }
    std::pair<QString, QCborMap> operator()(const R::HostKey &r) const
    {
        return {SSHProtocol::reportHostKey, {{u"value"_s, r.key}}};
    }
    std::pair<QString, QCborMap> operator()(const R::Algorithm &r) const
    {
        return {SSHProtocol::reportAlgorithm, {{u"value"_s, r.name}}};
    }
    std::pair<QString, QCborMap> operator()(const R::Cipher &r) const
    {
        return {SSHProtocol::reportCipher, {{u"name"_s, r.name}, {u"ctos"_s, r.clientToServer}}};
    }
};

} // namespace

std::pair<QString, QCborMap> reportMessage(const ClientReportItem &item)
{
    return std::visit(Encoder{}, item);
}
