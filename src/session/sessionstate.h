#pragma once

#include "logger.h"

#include <QMetaType>
#include <QString>

#include <optional>

// The connection state of one session, in its fixed order.
enum class SessionState
{
    notConnected,
    retrying,
    connecting,
    multiplexing,
    jumping,
    authenticating,
    connected,
    disconnecting,
    disconnected,
    abnormalDisconnect,
};

inline constexpr SessionState allSessionStates[] = {
    SessionState::notConnected,       SessionState::retrying,      SessionState::connecting,
    SessionState::multiplexing,       SessionState::jumping,       SessionState::authenticating,
    SessionState::connected,          SessionState::disconnecting, SessionState::disconnected,
    SessionState::abnormalDisconnect,
};

// The case name, which is also the state's text in scripts and on the bus.
QString rawValue(SessionState state);
// Exactly the ten case names; anything else has no state.
std::optional<SessionState> sessionStateFromRaw(const QString &raw);
// The state for scripts: "Connected", "Abnormal Disconnect"...
QString textState(SessionState state);
// The text users read ("Connecting...").
QString description(SessionState state);
// The shorter title of shortcut actions (no full stop after "Unexpectedly disconnected").
QString displayTitle(SessionState state);

// A connection may start only from an idle state.
bool isIdle(SessionState state);
bool isInProgress(SessionState state);
// The level at which a session logs its own change into this state.
Logger::Level logLevelOfChange(SessionState state);

inline const QString sessionStateDidChangeNotificationName =
    QStringLiteral("VellSSHSessionStateDidChangeNotificationName");

Q_DECLARE_METATYPE(SessionState)
