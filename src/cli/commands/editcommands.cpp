#include "editcommands.h"

#include "forwardingspec.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileedit.h"
#include "queries.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"

using namespace Qt::StringLiterals;

namespace {

QList<OptionHelp> profileOptions()
{
    return {
        {u"--name NAME"_s, localized("the profile’s name")},
        {u"--host HOST"_s, localized("the server’s host name or address")},
        {u"--port N"_s, localized("the server’s port, 1 to 65535")},
        {u"--user USER"_s, localized("the user name on the server")},
        {u"--identity FILE"_s, localized("a private key in ~/.ssh")},
        {u"--certificate FILE"_s, localized("a certificate in ~/.ssh")},
        {u"-L SPEC"_s, localized("a local forwarding: [bind:]port:host:hostport")},
        {u"-R SPEC"_s, localized("a remote forwarding: [bind:]port:host:hostport, or [bind:]port "
                                 "for a reverse dynamic one")},
        {u"-D SPEC"_s, localized("a dynamic (SOCKS) forwarding: [bind:]port")},
        {u"--reverse-dynamic SPEC"_s, localized("a reverse dynamic forwarding: [bind:]port")},
        {u"--option KEY=VALUE"_s, localized("an ssh option, such as Compression=yes")},
        {u"--tag NAME"_s, localized("a tag, made when there is none of that name")},
        {u"--pin"_s, localized("pin the profile")},
        {u"--auto-connect"_s, localized("connect when VellSSH starts")},
        {u"--retries N"_s, localized("how often a failed connection is retried, 0 to 32767")},
        {u"--note TEXT"_s, localized("a note; the one field that may span lines")},
    };
}

} // namespace

Result<ProfileEdit> ProfileFlagsCommand::profileEdit() const
{
    ProfileEdit edit;
    edit.name = m_flags.name;
    edit.host = m_flags.host;
    edit.port = m_flags.port;
    edit.user = m_flags.user;
    edit.note = m_flags.note;
    edit.retryAttempts = m_flags.retries;
    edit.options = m_flags.options;
    edit.clearForwardings = m_flags.clearForwardings;
    edit.tags = m_flags.tags;
    if (m_flags.pin)
        edit.pinned = true;
    if (m_flags.autoConnect || m_flags.noAutoConnect)
        edit.autoConnect = m_flags.autoConnect;
    const QString keys = IdentityKeyManager::defaultDirectory();
    for (const auto &[file, name] : {std::pair{&m_flags.identity, &edit.privateKeyName},
                                     std::pair{&m_flags.certificate, &edit.certificateName}}) {
        if (!*file)
            continue;
        auto inFolder = keyNameInFolder(**file, keys);
        if (!inFolder)
            return inFolder.error();
        *name = inFolder->value_or(QString());
    }
    noteUnusedOptions();
    for (const auto &[type, spec] : m_flags.forwardings) {
        auto data = parseForwardingSpec(type, spec);
        if (!data)
            return data.error();
        edit.forwardings.append(*data);
    }
    return edit;
}

Status ProfileFlagsCommand::checkNames()
{
    auto tags = nameArguments(m_flags.tags);
    if (!tags)
        return tags.error();
    m_flags.tags = *tags;
    auto positionals = nameArguments(m_flags.positionals);
    if (!positionals)
        return positionals.error();
    m_flags.positionals = *positionals;
    if (m_flags.name) {
        if (auto name = nameArgument(*m_flags.name); !name)
            return name.error();
    }
    return std::nullopt;
}

void ProfileFlagsCommand::noteUnusedOptions() const
{
    const SSHClientConfig &catalogue = SSHClientConfig::shared();
    for (const auto &[key, value] : m_flags.options) {
        const bool used = value.isEmpty() || catalogue.knownOptionNames().contains(key) ||
                          ParameterBuilder::skipQuickOptions.contains(key) ||
                          key == u"UserNotification"_s;
        if (!used) {
            m_env.err() << localized("Note: “%1” is kept, but it is not an option that VellSSH "
                                     "passes to ssh.")
                               .arg(key)
                        << u'\n';
        }
    }
}

int ProfileFlagsCommand::applyAndSave(Profile &profile, std::optional<QString> savedName)
{
    const auto edit = profileEdit();
    if (!edit)
        return m_env.fail(edit.error().message);
    if (const auto applied = edit->apply(context(), profile); !applied)
        return m_env.fail(applied.error().message);
    return m_env.saveOrReport(&profile, savedName);
}

CommandHelp AddCommand::help()
{
    return {uR"(add --name NAME --host HOST [--port N] [--user USER]
    [--identity FILE] [--certificate FILE] [-L SPEC]...
    [-R SPEC]... [-D SPEC]... [--reverse-dynamic SPEC]...
    [--option KEY=VALUE]... [--tag NAME]... [--pin]
    [--auto-connect] [--retries N] [--note TEXT])"_s,
            localized("Add a profile and print its uuid."),
            localized("A profile needs a name that no other live profile carries, a host and a "
                      "user. Forwardings keep the order of the command line."),
            profileOptions()};
}

Status AddCommand::parse(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, false);
    if (!flags)
        return flags.error();
    if (!flags->positionals.isEmpty())
        return Error(localized("Unexpected argument “%1”.").arg(flags->positionals.first()));
    m_flags = std::move(flags).value();
    if (Status refused = checkNames())
        return refused;
    // A new profile stores empty texts, not missing ones, for the fields the editor requires.
    for (std::optional<QString> *field : {&m_flags.name, &m_flags.host, &m_flags.user}) {
        if (!*field)
            *field = QString();
    }
    return std::nullopt;
}

int AddCommand::run()
{
    Profile *profile = context().insertProfile();
    const int code = applyAndSave(*profile, std::nullopt);
    if (code == CliEnvironment::success)
        m_env.out() << profile->scriptUUID().value_or(QString()) << u'\n';
    return code;
}

CommandHelp EditCommand::help()
{
    QList<OptionHelp> options = profileOptions();
    options.append({{u"--option KEY="_s, localized("remove the option")},
                    {u"--clear-forwardings"_s,
                     localized("remove the forwardings first; new ones are appended")},
                    {u"--no-auto-connect"_s, localized("do not connect when VellSSH starts")}});
    return {u"edit PROFILE [the options of add] [--option KEY=]\n"
            u"    [--clear-forwardings] [--no-auto-connect]"_s,
            localized("Change a live profile as the options say."),
            localized("Forwardings given are appended after the existing ones."), options};
}

Status EditCommand::parse(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, true);
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("edit takes one PROFILE."));
    m_flags = std::move(flags).value();
    if (Status refused = checkNames())
        return refused;
    return std::nullopt;
}

int EditCommand::run()
{
    auto profile = resolveProfile(context(), m_flags.positionals.first());
    if (!profile)
        return m_env.fail(profile.error().message);
    return applyAndSave(**profile, (*profile)->name());
}
