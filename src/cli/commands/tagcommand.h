#pragma once

#include "clicommand.h"
#include "commandhelp.h"

class Tag;

// vellssh-cli tag: lists, makes, renames and deletes tags, and tags or untags profiles.
class TagCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    enum class Action
    {
        list,
        create,
        rename,
        remove,
        tagProfiles,
        untagProfiles
    };

    int list();
    int create();
    int rename();
    int remove();
    int tagProfiles(bool adding);
    Result<Tag *> existing(const QString &name);
    int refuseName(const Error &error);

    Action m_action = Action::list;
    QStringList m_operands;
};
