#pragma once

#include "records.h"
#include "result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class Forwarding;
class ObjectContext;
class Profile;
class Tag;

// The editing rules that every front end shares, so that the command line and the profile
// editor change a profile the same way.
//
// A whole edit: fill a ProfileEdit with what changes and call apply(). It checks everything
// that can refuse it before it touches anything, so a refused edit leaves the profile and the
// context as they were. It does not save: the caller saves, with
// ProfileValidationForm::validateForSave as the check of the save.
//
// An editor that works on a scratch context can also use the pieces one at a time:
// keyNameInFolder() for a key file picked anywhere, tagForName() and setTagNames() for tags
// typed by name, appendForwarding(), moveForwarding() and removeForwardings() for the list of
// forwardings, which keep the priorities in step with the order shown.

// What apply() changes. Every absent member leaves its field as it is.
struct ProfileEdit
{
    // Names, hosts and users are stored trimmed.
    std::optional<QString> name;
    std::optional<QString> host;
    std::optional<qint32> port;
    std::optional<QString> user;
    // Key names as keyNameInFolder() gives them; an empty text removes the key.
    std::optional<QString> privateKeyName;
    std::optional<QString> certificateName;
    // An empty text removes the note.
    std::optional<QString> note;
    std::optional<qint16> retryAttempts;
    std::optional<bool> pinned;
    std::optional<bool> autoConnect;
    // Applied in order; an empty value removes the option.
    QList<std::pair<QString, QString>> options;
    // Removes the profile's forwardings before the new ones are appended.
    bool clearForwardings = false;
    // Appended in order after the ones the profile keeps, each with the next priority.
    QList<ForwardingData> forwardings;
    // Tags to add by name; a name that no tag carries makes a new tag under the tag name rules.
    QStringList tags;

    friend bool operator==(const ProfileEdit &, const ProfileEdit &) = default;

    // What apply() made.
    struct Applied
    {
        QList<Forwarding *> forwardings;
        QList<Tag *> createdTags;
    };
    Result<Applied> apply(ObjectContext &context, Profile &profile) const;
};

// The name under which a key file is stored: keys are chosen by their file name in the key
// folder, so a path must lead into that folder. A bare file name is taken as it stands; an
// empty text means no key.
Result<std::optional<QString>> keyNameInFolder(const QString &file, const QString &keyFolder);

// The tag of that name, or a new one when none carries it and the name is acceptable.
Result<Tag *> tagForName(ObjectContext &context, const QString &name);
// Gives the profile exactly the tags of these names, making the missing ones; a refused name
// changes nothing.
Status setTagNames(ObjectContext &context, Profile &profile, const QStringList &names);

// The priority after the highest one the profile's forwardings hold.
qint16 nextForwardingPriority(const Profile &profile);
Forwarding *appendForwarding(ObjectContext &context, Profile &profile, const ForwardingData &data);
// Moves a forwarding of the profile to a place in the sorted list and numbers the list from 0.
void moveForwarding(Profile &profile, Forwarding *forwarding, qsizetype to);
void removeForwardings(ObjectContext &context, const QList<Forwarding *> &forwardings);
