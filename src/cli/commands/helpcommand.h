#pragma once

#include "clicommand.h"
#include "commandhelp.h"

// vellssh-cli help: every verb with its summary, or the whole help of one verb.
class HelpCommand final : public CliCommand
{
public:
    using CliCommand::CliCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    QString m_text;
};
