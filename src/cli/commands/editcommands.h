#pragma once

#include "clicommand.h"
#include "commandhelp.h"
#include "profileflags.h"

struct ProfileEdit;

// What add and edit share: the profile flags turned into a ProfileEdit, in the order the flags
// are checked.
class ProfileFlagsCommand : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;

protected:
    // Refuses a name or tag that holds a control character; trims the tags and the reference.
    Status checkNames();
    Result<ProfileEdit> profileEdit() const;
    // An option that ssh is never given is kept all the same; the user hears why it does nothing.
    void noteUnusedOptions() const;
    // Applies the flags to the profile and saves it, validated.
    int applyAndSave(Profile &profile, std::optional<QString> savedName);

    ProfileFlags m_flags;
};

// vellssh-cli add: a new profile from the flags; prints its uuid.
class AddCommand final : public ProfileFlagsCommand
{
public:
    using ProfileFlagsCommand::ProfileFlagsCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;
};

// vellssh-cli edit: changes a live profile as the flags say.
class EditCommand final : public ProfileFlagsCommand
{
public:
    using ProfileFlagsCommand::ProfileFlagsCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;
};
