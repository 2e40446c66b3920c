#pragma once

#include "commandhelp.h"
#include "daemoncommand.h"

// vellssh-cli open: hands the profiles to Vell Shell, the terminal application, through the
// running VellSSH.
class OpenCommand final : public DaemonCommand
{
public:
    using DaemonCommand::DaemonCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    QStringList m_references;
};
