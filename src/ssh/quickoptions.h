#pragma once

#include <QString>

#include <optional>

class Profile;

enum class AddressFamily
{
    inet,
    inet6,
    any
};
enum class LogLevel
{
    info,
    debug1,
    debug2,
    debug3
};
enum class SessionType
{
    none,
    subsystem,
    defaultSession
};

QString rawValue(AddressFamily family);
QString displayName(AddressFamily family);
std::optional<AddressFamily> addressFamilyFromRaw(const QString &raw);
QString rawValue(LogLevel level);
std::optional<LogLevel> logLevelFromRaw(const QString &raw);
QString rawValue(SessionType type);

// Typed views of the options that have their own controls. Each writer goes through the
// profile's option setters, so an empty value is never stored.
std::optional<AddressFamily> addressFamily(const Profile &profile);
void setAddressFamily(Profile &profile, std::optional<AddressFamily> family);
std::optional<LogLevel> logLevel(const Profile &profile);
void setLogLevel(Profile &profile, std::optional<LogLevel> level);

std::optional<bool> agentForwarding(const Profile &profile);
void setAgentForwarding(Profile &profile, std::optional<bool> on);
std::optional<bool> compression(const Profile &profile);
void setCompression(Profile &profile, std::optional<bool> on);
std::optional<QString> bindAddressOption(const Profile &profile);
void setBindAddressOption(Profile &profile, const std::optional<QString> &address);
std::optional<QString> jumpHosts(const Profile &profile);
void setJumpHosts(Profile &profile, const std::optional<QString> &hosts);
// True unless "SessionType" asks for a subsystem or the default session.
bool noSession(const Profile &profile);
void setSessionType(Profile &profile, std::optional<SessionType> type);
bool userNotification(const Profile &profile);
void setUserNotification(Profile &profile, bool on);
