#pragma once

#include "clicommand.h"
#include "commandhelp.h"
#include "queries.h"

#include <optional>

// vellssh-cli list: the profiles of one selection, as lines or as JSON.
class ListCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    Result<SidebarItem> selection();
    void printRows(const QList<Profile *> &profiles);
    void printJson(const QList<Profile *> &profiles);
    void printNames(const QList<Profile *> &profiles);

    std::optional<QString> m_tag;
    bool m_untagged = false;
    bool m_trash = false;
    QString m_search;
    bool m_json = false;
    bool m_names = false;
};

// vellssh-cli show: every field of one profile, as lines or as JSON.
class ShowCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    void printFields(Profile &profile);
    void printLine(const QString &label, const QString &value);

    QString m_reference;
    bool m_json = false;
};

// vellssh-cli command: the ssh command line that connecting a profile runs.
class InvocationCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    QString m_reference;
    bool m_words = false;
};
