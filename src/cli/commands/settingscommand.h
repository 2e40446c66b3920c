#pragma once

#include "clicommand.h"
#include "commandhelp.h"

struct SettingText;

// vellssh-cli settings: every setting, or one read or written as text.
class SettingsCommand final : public CliCommand
{
public:
    using CliCommand::CliCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    int write();

    // No setting means all of them.
    const SettingText *m_setting = nullptr;
    std::optional<QString> m_newValue;
};
