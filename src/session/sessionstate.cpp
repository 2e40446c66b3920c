#include "sessionstate.h"

#include "enumnames.h"
#include "localized.h"

namespace {

constexpr auto rawValues = enumNames<SessionState>({
    {SessionState::notConnected, "notConnected"},
    {SessionState::retrying, "retrying"},
    {SessionState::connecting, "connecting"},
    {SessionState::multiplexing, "multiplexing"},
    {SessionState::jumping, "jumping"},
    {SessionState::authenticating, "authenticating"},
    {SessionState::connected, "connected"},
    {SessionState::disconnecting, "disconnecting"},
    {SessionState::disconnected, "disconnected"},
    {SessionState::abnormalDisconnect, "abnormalDisconnect"},
});

// The state as scripts read it.
constexpr auto scriptTexts = enumNames<SessionState>({
    {SessionState::notConnected, "Not Connected"},
    {SessionState::retrying, "Retrying"},
    {SessionState::connecting, "Connecting"},
    {SessionState::multiplexing, "Multiplexing"},
    {SessionState::jumping, "Jumping"},
    {SessionState::authenticating, "Authenticating"},
    {SessionState::connected, "Connected"},
    {SessionState::disconnecting, "Disconnecting"},
    {SessionState::disconnected, "Disconnected"},
    {SessionState::abnormalDisconnect, "Abnormal Disconnect"},
});

} // namespace

QString rawValue(SessionState state)
{
    return rawValues.name(state);
}

std::optional<SessionState> sessionStateFromRaw(const QString &raw)
{
    return rawValues.value(raw);
}

QString textState(SessionState state)
{
    return scriptTexts.name(state);
}

QString description(SessionState state)
{
    switch (state) {
    case SessionState::notConnected:
        return localized("Not Connected");
    case SessionState::retrying:
        return localized("Connection failed, Retrying in 3 seconds...");
    case SessionState::connecting:
        return localized("Connecting...");
    case SessionState::multiplexing:
        return localized("Multiplexing...");
    case SessionState::jumping:
        return localized("Jumping...");
    case SessionState::authenticating:
        return localized("Authenticating...");
    case SessionState::connected:
        return localized("Connected");
    case SessionState::disconnecting:
        return localized("Disconnecting...");
    case SessionState::disconnected:
        return localized("Disconnected");
    case SessionState::abnormalDisconnect:
        return localized("Unexpectedly disconnected.");
    }
    return {};
}

QString displayTitle(SessionState state)
{
    switch (state) {
    case SessionState::retrying:
        return localized("Retrying");
    case SessionState::abnormalDisconnect:
        return localized("Unexpectedly disconnected");
    default:
        return description(state);
    }
}

bool isIdle(SessionState state)
{
    return state == SessionState::notConnected || state == SessionState::disconnected ||
           state == SessionState::abnormalDisconnect;
}

bool isInProgress(SessionState state)
{
    return !isIdle(state) && state != SessionState::connected;
}

Logger::Level logLevelOfChange(SessionState state)
{
    switch (state) {
    case SessionState::retrying:
        return Logger::Level::warning;
    case SessionState::connected:
        return Logger::Level::notice;
    case SessionState::abnormalDisconnect:
        return Logger::Level::critical;
    default:
        return Logger::Level::info;
    }
}
