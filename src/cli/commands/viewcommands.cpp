#include "viewcommands.h"

#include "daemoncommand.h"
#include "forwarding.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileflags.h"
#include "profilejson.h"
#include "settings.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"
#include "tag.h"
#include "uuidtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

CommandHelp ListCommand::help()
{
    return {u"list [--tag NAME | --untagged | --trash] [--search TEXT]\n"
            u"    [--json | --names]"_s,
            localized("List the profiles, pinned ones first."),
            localized("A line shows a profile’s name (after “* ” when it is pinned), its "
                      "destination, its forwardings and its tags, separated by tabs."),
            {{u"--tag NAME"_s, localized("only the live profiles with the tag")},
             {u"--untagged"_s, localized("only the live profiles without a tag")},
             {u"--trash"_s, localized("only the profiles in Recently Deleted")},
             {u"--search TEXT"_s, localized("only the profiles where every word of TEXT occurs")},
             {u"--json"_s, localized("print the profiles as JSON, each with “pinned” and, from a "
                                     "running VellSSH, its “state”")},
             {u"--names"_s, localized("print only the names, one a line")}}};
}

Status ListCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"--tag"_s, u"--search"_s},
                                  {u"--untagged"_s, u"--trash"_s, u"--json"_s, u"--names"_s});
    if (!flags)
        return flags.error();
    if (flags->values.contains(u"--tag"_s)) {
        auto tag = nameArgument(flags->values.value(u"--tag"_s));
        if (!tag)
            return tag.error();
        m_tag = *tag;
    }
    m_untagged = flags->switches.contains(u"--untagged"_s);
    m_trash = flags->switches.contains(u"--trash"_s);
    m_search = flags->values.value(u"--search"_s);
    m_json = flags->switches.contains(u"--json"_s);
    m_names = flags->switches.contains(u"--names"_s);
    if (int(m_tag.has_value()) + int(m_untagged) + int(m_trash) > 1 ||
        !flags->positionals.isEmpty())
        return Error(localized("list takes one of --tag, --untagged and --trash."));
    if (m_json && m_names)
        return Error(localized("list takes one of --json and --names."));
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
    if (m_json)
        printJson(profiles);
    else if (m_names)
        printNames(profiles);
    else
        printRows(profiles);
    return CliEnvironment::success;
}

void ListCommand::printJson(const QList<Profile *> &profiles)
{
    const QHash<QString, QString> states = DaemonCommand::runningStates();
    QJsonArray array;
    for (const Profile *profile : profiles) {
        QJsonObject object = profileJSON(*profile);
        object.insert(u"pinned"_s, profile->pinned());
        object.insert(u"state"_s, states.value(uuidText(profile->uuid())));
        array.append(object);
    }
    m_env.out() << json(array);
}

void ListCommand::printNames(const QList<Profile *> &profiles)
{
    for (const Profile *profile : profiles)
        m_env.out() << profile->displayName() << u'\n';
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
    return Error(noTagMessage(*m_tag));
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

CommandHelp ShowCommand::help()
{
    return {u"show PROFILE [--json]"_s,
            localized("Show every field of a profile."),
            {},
            {{u"--json"_s, localized("print the profile in the interchange format")}}};
}

Status ShowCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--json"_s});
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("show takes one PROFILE."));
    auto reference = nameArgument(flags->positionals.first());
    if (!reference)
        return reference.error();
    m_reference = *reference;
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

CommandHelp InvocationCommand::help()
{
    return {u"command PROFILE [--args]"_s,
            localized("Print the ssh command that connecting a profile runs."),
            {},
            {{u"--args"_s, localized("print the client’s arguments, one a line")}}};
}

Status InvocationCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--args"_s});
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("command takes one PROFILE."));
    auto reference = nameArgument(flags->positionals.first());
    if (!reference)
        return reference.error();
    m_reference = *reference;
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
