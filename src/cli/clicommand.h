#pragma once

#include "clienvironment.h"
#include "result.h"

#include <QStringList>

// One verb of vellssh-cli. The dispatcher lets it read its arguments, prepares it and runs it;
// each step may end the command.
class CliCommand
{
public:
    explicit CliCommand(CliEnvironment &env) : m_env(env) {}
    virtual ~CliCommand() = default;
    CliCommand(const CliCommand &) = delete;
    CliCommand &operator=(const CliCommand &) = delete;

    // Reads the arguments; an error is a usage error.
    virtual Status parse(const QStringList &arguments) = 0;
    // What must hold before the command runs; false when it does not, having said why.
    virtual bool prepare() { return true; }
    // The exit code.
    virtual int run() = 0;

protected:
    CliEnvironment &m_env;
};

// A command that works on the profile store.
class StoreCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    bool prepare() override { return m_env.openStore(); }

protected:
    ObjectContext &context() { return m_env.context(); }
};
