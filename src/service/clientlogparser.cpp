#include "clientlogparser.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;
namespace R = ClientReport;

namespace {

// Unprefixed messages that report progress rather than trouble.
const QStringList informationalPrefixes = {
    u"OpenSSH_"_s,        u"Authenticated to "_s,  u"Authenticated using "_s,
    u"Transferred: "_s,   u"Bytes per second: "_s, u"Warning: Permanently added "_s,
    u"Allocated port "_s, u"Master running "_s,    u"Exit request sent."_s,
};

QString afterPrefix(const QString &line, int &debugLevel)
{
    static const QRegularExpression debug(u"^debug([123]): "_s);
    const QRegularExpressionMatch match = debug.match(line);
    if (!match.hasMatch()) {
        debugLevel = 0;
        return line;
    }
    debugLevel = match.captured(1).toInt();
    return line.mid(match.capturedLength());
}

} // namespace

OpenSSHLevel levelOfLine(const QString &line)
{
    int debugLevel = 0;
    afterPrefix(line, debugLevel);
    if (debugLevel > 0)
        return OpenSSHLevel(int(OpenSSHLevel::debug1) + debugLevel - 1);
    if (line.endsWith(u" and you have requested strict checking."_s))
        return OpenSSHLevel::fatal;
    for (const QString &prefix : informationalPrefixes) {
        if (!line.startsWith(prefix))
            continue;
        // The version banner comes only with -v, so only a run that asked for debug lines
        // shows it.
        if (prefix == u"OpenSSH_"_s)
            return OpenSSHLevel::debug1;
        return line.startsWith(u"Warning: "_s) ? OpenSSHLevel::info : OpenSSHLevel::verbose;
    }
    return OpenSSHLevel::error;
}

QList<ClientReportItem> ClientLogParser::feed(const QByteArray &bytes)
{
    QList<ClientReportItem> reports;
    for (const LineSplitter::Line &line : m_lines.feed(bytes))
        reports += parseLine(line.text());
    return reports;
}

QList<ClientReportItem> ClientLogParser::finish()
{
    const std::optional<LineSplitter::Line> rest = m_lines.finish();
    return rest ? parseLine(rest->text()) : QList<ClientReportItem>();
}

QString ClientLogParser::speakerPrefix() const
{
    if (m_sessions < m_jumpBanners)
        return u'[' + m_jumpHosts.value(m_jumpBanners - 1 - m_sessions) + u"] "_s;
    return m_muxClient ? u"[mux] "_s : QString();
}

void ClientLogParser::followSpeaker(const QString &line)
{
    // A jump client starts with its banner; until then its parent is still speaking.
    if (line.startsWith(u"OpenSSH_"_s) && m_jumpBanners < m_jumpHosts.size())
        ++m_jumpBanners;
    int debugLevel = 0;
    const QString text = afterPrefix(line, debugLevel);
    static const QStringList muxClientMessages = {
        u"mux_client_"_s,
        u"muxclient: "_s,
        u"Requesting forwarding of "_s,
        u"Requesting cancellation of "_s,
    };
    if (!m_muxClient && atTarget()) {
        m_muxClient = std::any_of(muxClientMessages.cbegin(), muxClientMessages.cend(),
                                  [&](const QString &start) { return text.startsWith(start); });
    }
}

QList<ClientReportItem> ClientLogParser::parseLine(const QString &line)
{
    followSpeaker(line);
    QList<ClientReportItem> reports{R::Log{levelOfLine(line), speakerPrefix() + line}};
    int debugLevel = 0;
    const QString text = afterPrefix(line, debugLevel);

    static const QRegularExpression connecting(
        u"^Connecting to (\\S+) \\[([^\\]]*)\\] port \\d+\\.$"_s);
    static const QRegularExpression authenticatingTo(
        u"^Authenticating to (.+):(\\d+) as '(.*)'$"_s);
    static const QRegularExpression authenticated(
        u"^Authenticated (?:to .* )?using \"([^\"]+)\""_s);
    static const QRegularExpression cipher(
        u"^kex: (client->server|server->client) cipher: (\\S+)"_s);

    if (text.startsWith(u"Setting implicit ProxyCommand from ProxyJump"_s)) {
        reports.append(R::Jumping{});
    } else if (text.startsWith(u"Executing proxy command:"_s)) {
        m_jumpHosts.append(text.section(u' ', -1));
    } else if (line == u"Host key verification failed."_s) {
        reports.append(R::HostKeyRefused{});
    } else if (text.startsWith(u"auto-mux: Trying existing master"_s)) {
        if (!std::exchange(m_multiplexingReported, true))
            reports.append(R::Multiplexing{});
    } else if (text.startsWith(u"mux_client_request_session: master session id"_s)) {
        if (!std::exchange(m_multiplexingReported, true))
            reports.append(R::Multiplexing{});
        if (!std::exchange(m_connected, true))
            reports.append(R::Connected{});
    } else if (text == u"Entering interactive session."_s) {
        // Every client on this log says it once; the target says it last.
        if (atTarget() && !std::exchange(m_connected, true))
            reports.append(R::Connected{});
        ++m_sessions;
    } else if (auto m = connecting.match(text); m.hasMatch()) {
        if (m_jumpHosts.isEmpty())
            reports.append(R::HostWithHost{m.captured(1), m.captured(2)});
    } else if (auto m = authenticatingTo.match(text); m.hasMatch()) {
        if (atTarget()) {
            m_targetAuthenticating = true;
            reports.append(
                R::ConnectInfo{m.captured(1), quint16(m.captured(2).toUInt()), m.captured(3)});
        }
    } else if (text.startsWith(u"Authentications that can continue:"_s) ||
               text.startsWith(u"Next authentication method:"_s) ||
               text.startsWith(u"Offering public key:"_s)) {
        // Only now is the key exchange done: a server that drops the connection earlier has
        // not refused the login, and the session may try again.
        if (!std::exchange(m_authenticatingReported, true))
            reports.append(R::Authenticating{});
    } else if (!m_targetAuthenticating || !atTarget()) {
        return reports;
    } else if (auto m = authenticated.match(text); m.hasMatch()) {
        reports.append(R::AuthMethod{m.captured(1)});
        // "Authenticated using ... with partial success." asks for a further method.
        if (text.startsWith(u"Authenticated to "_s))
            reports.append(R::Authenticated{});
    } else if (text.startsWith(u"Server accepts key: "_s)) {
        reports.append(R::Identity{text.mid(20).section(u' ', 0, 0)});
    } else if (text.startsWith(u"Server host key: "_s)) {
        reports.append(R::HostKey{text.mid(17)});
    } else if (text.startsWith(u"kex: algorithm: "_s)) {
        reports.append(R::Algorithm{text.mid(16)});
    } else if (auto m = cipher.match(text); m.hasMatch()) {
        reports.append(R::Cipher{m.captured(2), m.captured(1) == u"client->server"_s});
    }
    return reports;
}
