#pragma once

#include "clicommand.h"
#include "commandhelp.h"
#include "queries.h"

#include <QSet>

// A verb that acts on every profile named, each once, after all of them were found.
class ProfilesCommand : public StoreCommand
{
public:
    Status parse(const QStringList &arguments) override;
    int run() override;

protected:
    ProfilesCommand(CliEnvironment &env, const QString &verb, ProfileScope scope,
                    const QStringList &switches = {});
    virtual int act(const QList<Profile *> &profiles) = 0;
    bool hasSwitch(const QString &name) const { return m_switches.contains(name); }

private:
    QString m_verb;
    ProfileScope m_scope;
    QStringList m_switchNames;
    QSet<QString> m_switches;
    QStringList m_references;
};

// vellssh-cli trash: moves live profiles to the trash.
class TrashCommand final : public ProfilesCommand
{
public:
    explicit TrashCommand(CliEnvironment &env)
        : ProfilesCommand(env, QStringLiteral("trash"), ProfileScope::live)
    {}
    static CommandHelp help();

protected:
    int act(const QList<Profile *> &profiles) override;
};

// vellssh-cli recover: brings profiles back from the trash, renamed where the name is taken.
class RecoverCommand final : public ProfilesCommand
{
public:
    explicit RecoverCommand(CliEnvironment &env)
        : ProfilesCommand(env, QStringLiteral("recover"), ProfileScope::trash)
    {}
    static CommandHelp help();

protected:
    int act(const QList<Profile *> &profiles) override;
};

// vellssh-cli duplicate: copies live profiles and prints the names of the copies.
class DuplicateCommand final : public ProfilesCommand
{
public:
    explicit DuplicateCommand(CliEnvironment &env)
        : ProfilesCommand(env, QStringLiteral("duplicate"), ProfileScope::live)
    {}
    static CommandHelp help();

protected:
    int act(const QList<Profile *> &profiles) override;
};

// vellssh-cli pin and unpin.
class PinCommand final : public ProfilesCommand
{
public:
    PinCommand(CliEnvironment &env, bool pin)
        : ProfilesCommand(env, pin ? QStringLiteral("pin") : QStringLiteral("unpin"),
                          ProfileScope::live),
          m_pin(pin)
    {}
    static CommandHelp help(bool pin);

protected:
    int act(const QList<Profile *> &profiles) override;

private:
    bool m_pin;
};

// vellssh-cli delete: removes profiles for good, live or trashed, once the user agrees.
class DeleteCommand final : public ProfilesCommand
{
public:
    explicit DeleteCommand(CliEnvironment &env);
    static CommandHelp help();

protected:
    int act(const QList<Profile *> &profiles) override;

private:
    bool confirmed(qsizetype count);
};
