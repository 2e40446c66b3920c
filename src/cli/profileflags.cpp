#include "profileflags.h"

#include "localized.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

Error usage(const QString &message)
{
    return Error(message);
}

std::optional<ForwardingType> forwardingFlag(const QString &flag)
{
    if (flag == u"-L"_s)
        return ForwardingType::local;
    if (flag == u"-R"_s)
        return ForwardingType::remote;
    if (flag == u"-D"_s)
        return ForwardingType::dynamic;
    if (flag == u"--reverse-dynamic"_s)
        return ForwardingType::reverseDynamic;
    return std::nullopt;
}

using TextFlags = QHash<QString, std::optional<QString> ProfileFlags::*>;

const TextFlags &textFlags()
{
    static const TextFlags flags = {
        {u"--name"_s, &ProfileFlags::name},
        {u"--host"_s, &ProfileFlags::host},
        {u"--user"_s, &ProfileFlags::user},
        {u"--identity"_s, &ProfileFlags::identity},
        {u"--certificate"_s, &ProfileFlags::certificate},
        {u"--note"_s, &ProfileFlags::note},
    };
    return flags;
}

bool takesValue(const QString &flag)
{
    return textFlags().contains(flag) || forwardingFlag(flag) || flag == u"--port"_s ||
           flag == u"--retries"_s || flag == u"--option"_s || flag == u"--tag"_s;
}

std::optional<int> numberIn(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < lowest || number > highest)
        return std::nullopt;
    return number;
}

Status readNumber(ProfileFlags &flags, const QString &flag, const QString &text)
{
    if (flag == u"--port"_s) {
        const auto port = numberIn(text, 1, 65535);
        if (!port)
            return usage(localized("--port needs a number from 1 to 65535, not “%1”.").arg(text));
        flags.port = *port;
        return std::nullopt;
    }
    const auto retries = numberIn(text, 0, 32767);
    if (!retries)
        return usage(localized("--retries needs a number from 0 to 32767, not “%1”.").arg(text));
    flags.retries = qint16(*retries);
    return std::nullopt;
}

Status readValue(ProfileFlags &flags, const QString &flag, const QString &text)
{
    if (auto member = textFlags().value(flag)) {
        flags.*member = text;
    } else if (auto type = forwardingFlag(flag)) {
        flags.forwardings.append({*type, text});
    } else if (flag == u"--port"_s || flag == u"--retries"_s) {
        return readNumber(flags, flag, text);
    } else if (flag == u"--option"_s) {
        const qsizetype equals = text.indexOf(u'=');
        if (equals <= 0)
            return usage(localized("--option needs KEY=VALUE, not “%1”.").arg(text));
        flags.options.append({text.left(equals), text.mid(equals + 1)});
    } else {
        flags.tags.append(text);
    }
    return std::nullopt;
}

// False when the flag is no switch of the command.
bool readSwitch(ProfileFlags &flags, const QString &flag, bool editing)
{
    if (flag == u"--pin"_s)
        flags.pin = true;
    else if (flag == u"--auto-connect"_s)
        flags.autoConnect = true;
    else if (editing && flag == u"--no-auto-connect"_s)
        flags.noAutoConnect = true;
    else if (editing && flag == u"--clear-forwardings"_s)
        flags.clearForwardings = true;
    else
        return false;
    return true;
}

} // namespace

Result<ProfileFlags> parseProfileFlags(const QStringList &arguments, bool editing)
{
    ProfileFlags flags;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &flag = arguments[i];
        if (takesValue(flag)) {
            if (i + 1 >= arguments.size())
                return usage(localized("%1 needs a value.").arg(flag));
            if (Status error = readValue(flags, flag, arguments[++i]))
                return *error;
        } else if (!readSwitch(flags, flag, editing)) {
            if (flag.startsWith(u'-') && flag.size() > 1)
                return usage(localized("Unknown option “%1”.").arg(flag));
            flags.positionals.append(flag);
        }
    }
    if (flags.autoConnect && flags.noAutoConnect)
        return usage(localized("--auto-connect and --no-auto-connect exclude each other."));
    return flags;
}

Result<SimpleFlags> parseSimpleFlags(const QStringList &arguments, const QStringList &valueFlags,
                                     const QStringList &switches)
{
    SimpleFlags flags;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (valueFlags.contains(argument)) {
            if (i + 1 >= arguments.size())
                return usage(localized("%1 needs a value.").arg(argument));
            flags.values.insert(argument, arguments[++i]);
        } else if (switches.contains(argument)) {
            flags.switches.insert(argument);
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            return usage(localized("Unknown option “%1”.").arg(argument));
        } else {
            flags.positionals.append(argument);
        }
    }
    return flags;
}
