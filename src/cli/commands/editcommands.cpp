#include "editcommands.h"

#include "forwardingspec.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileedit.h"
#include "queries.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"

using namespace Qt::StringLiterals;

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

QString AddCommand::usage()
{
    return uR"(add --name NAME --host HOST [--port N] [--user USER] [--identity FILE]
    [--certificate FILE] [-L SPEC]... [-R SPEC]... [-D SPEC]... [--reverse-dynamic SPEC]...
    [--option KEY=VALUE]... [--tag NAME]... [--pin] [--auto-connect] [--retries N]
    [--note TEXT])"_s;
}

Status AddCommand::parse(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, false);
    if (!flags)
        return flags.error();
    if (!flags->positionals.isEmpty())
        return Error(localized("Unexpected argument “%1”.").arg(flags->positionals.first()));
    m_flags = std::move(flags).value();
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

QString EditCommand::usage()
{
    return u"edit PROFILE [the flags of add] [--option KEY=] [--clear-forwardings] "
           u"[--no-auto-connect]"_s;
}

Status EditCommand::parse(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, true);
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("edit takes one PROFILE."));
    m_flags = std::move(flags).value();
    return std::nullopt;
}

int EditCommand::run()
{
    auto profile = resolveProfile(context(), m_flags.positionals.first());
    if (!profile)
        return m_env.fail(profile.error().message);
    return applyAndSave(**profile, (*profile)->name());
}
