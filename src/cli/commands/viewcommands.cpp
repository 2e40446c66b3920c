#include "viewcommands.h"

#include "forwarding.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileflags.h"
#include "profilejson.h"
#include "settings.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"
#include "tag.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

InvocationInputs invocationInputs(const Settings &settings)
{
    return {SSHClientConfig::shared().knownOptionNameSet(), IdentityKeyManager::defaultDirectory(),
            settings.get(SettingKeys::userConfigFilePath)};
}

QString destination(const Profile &profile)
{
    QString text = profile.address().value_or(QString());
    if (profile.user() && !profile.user()->isEmpty())
        text = *profile.user() + u'@' + text;
    if (profile.port() > 0)
        text += u':' + QString::number(profile.port());
    return text;
}

QString forwardingSummary(const Forwarding &forwarding)
{
    return forwardingArguments(forwarding.data()).join(u' ');
}

QStringList tagNames(const Profile &profile)
{
    QStringList names;
    for (const Tag *tag : profile.tags())
        names.append(tag->name().value_or(QString()));
    names.sort(Qt::CaseInsensitive);
    return names;
}

QString json(const QJsonValue &value)
{
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

} // namespace

QString ListCommand::usage()
{
    return u"list [--tag NAME | --untagged | --trash] [--search TEXT] [--json]"_s;
}

Status ListCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"--tag"_s, u"--search"_s},
                                  {u"--untagged"_s, u"--trash"_s, u"--json"_s});
    if (!flags)
        return flags.error();
    if (flags->values.contains(u"--tag"_s))
        m_tag = flags->values.value(u"--tag"_s);
    m_untagged = flags->switches.contains(u"--untagged"_s);
    m_trash = flags->switches.contains(u"--trash"_s);
    m_search = flags->values.value(u"--search"_s);
    m_json = flags->switches.contains(u"--json"_s);
    if (int(m_tag.has_value()) + int(m_untagged) + int(m_trash) > 1 ||
        !flags->positionals.isEmpty())
        return Error(localized("list takes one of --tag, --untagged and --trash."));
    return std::nullopt;
}

int ListCommand::run()
{
    const auto selected = selection();
    if (!selected)
        return m_env.fail(selected.error().message);
    QList<Profile *> profiles = profilesIn(context(), *selected);
    ProfileSearch search(&context());
    profiles = search.filter(profiles, m_search);
    if (!m_json) {
        printRows(profiles);
        return CliEnvironment::success;
    }
    QJsonArray array;
    for (const Profile *profile : std::as_const(profiles))
        array.append(profileJSON(*profile));
    m_env.out() << json(array);
    return CliEnvironment::success;
}

Result<SidebarItem> ListCommand::selection()
{
    if (m_trash)
        return SidebarItem::trash();
    if (m_untagged)
        return SidebarItem::untagged();
    if (!m_tag)
        return SidebarItem::all();
    if (Tag *tag = tagNamed(*m_tag, context()))
        return SidebarItem::forTag(tag);
    return Error(localized("No tag “%1”.").arg(*m_tag));
}

void ListCommand::printRows(const QList<Profile *> &profiles)
{
    for (const Profile *profile : profiles) {
        QStringList forwardings;
        for (const Forwarding *forwarding : profile->sortedForwardings()) {
            if (forwarding->enabled())
                forwardings.append(forwardingSummary(*forwarding));
        }
        m_env.out() << (profile->pinned() ? u"* "_s : u"  "_s) << profile->displayName() << u'\t'
                    << destination(*profile) << u'\t' << forwardings.join(u", "_s) << u'\t'
                    << tagNames(*profile).join(u", "_s) << u'\n';
    }
}

QString ShowCommand::usage()
{
    return u"show PROFILE [--json]"_s;
}

Status ShowCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--json"_s});
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("show takes one PROFILE."));
    m_reference = flags->positionals.first();
    m_json = flags->switches.contains(u"--json"_s);
    return std::nullopt;
}

int ShowCommand::run()
{
    auto profile = resolveProfile(context(), m_reference, ProfileScope::all);
    if (!profile)
        return m_env.fail(profile.error().message);
    if (m_json)
        m_env.out() << json(profileJSON(**profile));
    else
        printFields(**profile);
    return CliEnvironment::success;
}

void ShowCommand::printFields(Profile &p)
{
    printLine(localized("Name"), p.displayName());
    printLine(localized("UUID"), p.scriptUUID().value_or(QString()));
    printLine(localized("Host"), p.address().value_or(QString()));
    printLine(localized("Port"), p.port() > 0 ? QString::number(p.port()) : QString());
    printLine(localized("User"), p.user().value_or(QString()));
    printLine(localized("Identity"), p.privateKeyName().value_or(QString()));
    printLine(localized("Certificate"), p.certificateName().value_or(QString()));
    printLine(localized("Tags"), tagNames(p).join(u", "_s));
    printLine(localized("Pinned"), p.pinned() ? localized("yes") : QString());
    printLine(localized("Auto-connect"), p.autoConnect() ? localized("yes") : QString());
    printLine(localized("Retries"), QString::number(p.retryAttempts()));
    printLine(localized("In the trash since"),
              p.deletedOn() ? p.deletedOn()->toString(Qt::ISODate) : QString());
    printLine(localized("Note"), p.note().value_or(QString()));
    const OptionDictionary options = p.optionsForReading();
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        printLine(localized("Option"), it.key() + u'=' + it.value());
    for (const Forwarding *forwarding : p.sortedForwardings()) {
        printLine(longTitle(forwarding->kind()),
                  forwardingSummary(*forwarding) +
                      (forwarding->enabled() ? QString() : u" ("_s + localized("disabled") + u')'));
    }
    printLine(localized("Command"), sshInvocation(p, invocationInputs(m_env.settings())).command);
}

void ShowCommand::printLine(const QString &label, const QString &value)
{
    if (!value.isEmpty())
        m_env.out() << label << u": "_s << value << u'\n';
}

QString InvocationCommand::usage()
{
    return u"command PROFILE [--args]"_s;
}

Status InvocationCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--args"_s});
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("command takes one PROFILE."));
    m_reference = flags->positionals.first();
    m_words = flags->switches.contains(u"--args"_s);
    return std::nullopt;
}

int InvocationCommand::run()
{
    auto profile = resolveProfile(context(), m_reference, ProfileScope::all);
    if (!profile)
        return m_env.fail(profile.error().message);
    const SSHInvocation invocation = sshInvocation(**profile, invocationInputs(m_env.settings()));
    if (!m_words) {
        m_env.out() << invocation.command << u'\n';
        return CliEnvironment::success;
    }
    for (const QString &word : invocation.params)
        m_env.out() << word << u'\n';
    return CliEnvironment::success;
}
