#pragma once

#include "clienvironment.h"

#include <QStringList>
#include <QTextStream>

// vellssh-cli: finds the command of the verb and runs it. Commands work on the profile store
// directly, or ask a running VellSSH over D-Bus.
class Cli
{
public:
    Cli(QTextStream &out, QTextStream &err, QTextStream &in) : m_env(out, err, in) {}

    // The exit code: 0 done, 1 failed, 2 usage error.
    int run(const QStringList &arguments);

private:
    CliEnvironment m_env;
};
