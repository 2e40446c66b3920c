#include "profilescommands.h"

#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileflags.h"

using namespace Qt::StringLiterals;

ProfilesCommand::ProfilesCommand(CliEnvironment &env, const QString &verb, ProfileScope scope,
                                 const QStringList &switches)
    : StoreCommand(env), m_verb(verb), m_scope(scope), m_switchNames(switches)
{}

CommandHelp TrashCommand::help()
{
    return {u"trash PROFILE..."_s, localized("Move live profiles to Recently Deleted."), {}, {}};
}

CommandHelp RecoverCommand::help()
{
    return {u"recover PROFILE..."_s,
            localized("Bring profiles back from Recently Deleted."),
            localized("A profile whose name was taken meanwhile comes back under a new one."),
            {}};
}

CommandHelp DuplicateCommand::help()
{
    return {u"duplicate PROFILE..."_s,
            localized("Copy live profiles and print the names of the copies."),
            {},
            {}};
}

CommandHelp PinCommand::help(bool pin)
{
    if (pin)
        return {u"pin PROFILE..."_s, localized("Pin profiles: they are listed first."), {}, {}};
    return {u"unpin PROFILE..."_s, localized("Unpin profiles."), {}, {}};
}

Status ProfilesCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, m_switchNames);
    if (!flags)
        return flags.error();
    if (flags->positionals.isEmpty())
        return Error(localized("%1 takes at least one PROFILE.").arg(m_verb));
    auto references = nameArguments(flags->positionals);
    if (!references)
        return references.error();
    m_switches = flags->switches;
    m_references = *references;
    return std::nullopt;
}

int ProfilesCommand::run()
{
    const auto profiles = resolveProfiles(context(), m_references, m_scope);
    if (!profiles)
        return m_env.fail(profiles.error().message);
    return act(*profiles);
}

int TrashCommand::act(const QList<Profile *> &profiles)
{
    moveToTrash(profiles);
    return m_env.saveOrReport();
}

int RecoverCommand::act(const QList<Profile *> &profiles)
{
    QList<std::pair<Profile *, QString>> names;
    for (Profile *profile : profiles)
        names.append({profile, profile->displayName()});
    recover(profiles, context());
    const int code = m_env.saveOrReport();
    if (code != CliEnvironment::success)
        return code;
    for (const auto &[profile, name] : std::as_const(names)) {
        if (profile->displayName() != name)
            m_env.out() << localized("“%1” was recovered as “%2”: the name is taken.")
                               .arg(name, profile->displayName())
                        << u'\n';
    }
    return code;
}

int DuplicateCommand::act(const QList<Profile *> &profiles)
{
    for (Profile *profile : profiles)
        m_env.out() << duplicateProfile(profile, context())->displayName() << u'\n';
    return m_env.saveOrReport();
}

int PinCommand::act(const QList<Profile *> &profiles)
{
    setPinned(profiles, m_pin);
    return m_env.saveOrReport();
}

DeleteCommand::DeleteCommand(CliEnvironment &env)
    : ProfilesCommand(env, QStringLiteral("delete"), ProfileScope::all, {u"--yes"_s})
{}

CommandHelp DeleteCommand::help()
{
    return {u"delete PROFILE... [--yes]"_s,
            localized("Delete profiles for good, live or in Recently Deleted."),
            localized("This cannot be undone; the command asks first."),
            {{u"--yes"_s, localized("do not ask")}}};
}

int DeleteCommand::act(const QList<Profile *> &profiles)
{
    if (!hasSwitch(u"--yes"_s) && !confirmed(profiles.size()))
        return m_env.fail(localized("Nothing was deleted."));
    if (auto error = deletePermanently(profiles, context()))
        return m_env.fail(error->message);
    return CliEnvironment::success;
}

bool DeleteCommand::confirmed(qsizetype count)
{
    const QString answer =
        m_env.ask(localized("Delete %1 profile(s)? You cannot undo this action. [y/N]").arg(count));
    return answer == u"y"_s || answer == u"yes"_s;
}
