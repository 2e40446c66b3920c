#include "quickoptions.h"

#include "enumnames.h"
#include "localized.h"
#include "profile.h"

using namespace Qt::StringLiterals;

namespace {

std::optional<QString> option(const Profile &profile, const QString &key)
{
    const OptionDictionary options = profile.optionsForReading();
    if (auto it = options.constFind(key); it != options.cend())
        return *it;
    return std::nullopt;
}

std::optional<bool> yesNo(const Profile &profile, const QString &key)
{
    const auto value = option(profile, key);
    if (!value)
        return std::nullopt;
    return isTruthyOptionValue(*value);
}

} // namespace

namespace {

constexpr auto addressFamilies = enumNames<AddressFamily>({
    {AddressFamily::inet, "inet"},
    {AddressFamily::inet6, "inet6"},
    {AddressFamily::any, "any"},
});
constexpr auto logLevels = enumNames<LogLevel>({
    {LogLevel::info, "INFO"},
    {LogLevel::debug1, "DEBUG1"},
    {LogLevel::debug2, "DEBUG2"},
    {LogLevel::debug3, "DEBUG3"},
});
constexpr auto sessionTypes = enumNames<SessionType>({
    {SessionType::none, "none"},
    {SessionType::subsystem, "subsystem"},
    {SessionType::defaultSession, "default"},
});

} // namespace

QString rawValue(AddressFamily family)
{
    return addressFamilies.name(family);
}

QString displayName(AddressFamily family)
{
    switch (family) {
    case AddressFamily::inet:
        return u"IPv4"_s;
    case AddressFamily::inet6:
        return u"IPv6"_s;
    case AddressFamily::any:
        return localized("Any");
    }
    return {};
}

std::optional<AddressFamily> addressFamilyFromRaw(const QString &raw)
{
    return addressFamilies.value(raw);
}

QString rawValue(LogLevel level)
{
    return logLevels.name(level);
}

std::optional<LogLevel> logLevelFromRaw(const QString &raw)
{
    return logLevels.value(raw);
}

QString rawValue(SessionType type)
{
    return sessionTypes.name(type);
}

std::optional<AddressFamily> addressFamily(const Profile &profile)
{
    return addressFamilyFromRaw(option(profile, u"AddressFamily"_s).value_or(QString()));
}

void setAddressFamily(Profile &profile, std::optional<AddressFamily> family)
{
    profile.setStringOption(family ? std::optional(rawValue(*family)) : std::nullopt,
                            u"AddressFamily"_s);
}

std::optional<LogLevel> logLevel(const Profile &profile)
{
    return logLevelFromRaw(option(profile, u"LogLevel"_s).value_or(QString()));
}

void setLogLevel(Profile &profile, std::optional<LogLevel> level)
{
    profile.setStringOption(level ? std::optional(rawValue(*level)) : std::nullopt, u"LogLevel"_s);
}

std::optional<bool> agentForwarding(const Profile &profile)
{
    return yesNo(profile, u"ForwardAgent"_s);
}

void setAgentForwarding(Profile &profile, std::optional<bool> on)
{
    profile.setYesNoOption(on, u"ForwardAgent"_s);
}

std::optional<bool> compression(const Profile &profile)
{
    return yesNo(profile, u"Compression"_s);
}

void setCompression(Profile &profile, std::optional<bool> on)
{
    profile.setYesNoOption(on, u"Compression"_s);
}

std::optional<QString> bindAddressOption(const Profile &profile)
{
    return option(profile, u"BindAddress"_s);
}

void setBindAddressOption(Profile &profile, const std::optional<QString> &address)
{
    profile.setStringOption(address, u"BindAddress"_s);
}

std::optional<QString> jumpHosts(const Profile &profile)
{
    return option(profile, u"ProxyJump"_s);
}

void setJumpHosts(Profile &profile, const std::optional<QString> &hosts)
{
    profile.setStringOption(hosts, u"ProxyJump"_s);
}

bool noSession(const Profile &profile)
{
    const QString type = option(profile, u"SessionType"_s).value_or(QString());
    return type != u"subsystem"_s && type != u"default"_s;
}

void setSessionType(Profile &profile, std::optional<SessionType> type)
{
    profile.setStringOption(type ? std::optional(rawValue(*type)) : std::nullopt, u"SessionType"_s);
}

bool userNotification(const Profile &profile)
{
    return yesNo(profile, u"UserNotification"_s).value_or(false);
}

void setUserNotification(Profile &profile, bool on)
{
    profile.setYesNoOption(on, u"UserNotification"_s);
}
