#pragma once

#include "result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ObjectContext;
class Profile;

// How many profiles an import added, replaced and skipped.
struct ProfileImportResult
{
    qint64 added = 0;
    qint64 replaced = 0;
    qint64 skipped = 0;
    // Why profiles were skipped, when it was not the person's choice: "“web” was skipped: …".
    QStringList problems;
    // Profiles that came in under a name a live profile already carried, and the name they got:
    // "“web” was added as “web 2”: the name is taken.".
    QStringList renamed;

    // "2 items was added, 3 items were skipped."
    QString message() const;

    friend bool operator==(const ProfileImportResult &, const ProfileImportResult &) = default;
};

enum class ConflictPolicy
{
    ask,
    replaceAll,
    skipAll
};

// What the person chose for a profile that is already there, and whether the choice holds for
// the rest of the import.
struct ConflictDecision
{
    bool replace = false;
    bool applyToAll = false;
};
// Asked with the imported profile's name, and whether "Apply to All" may be offered.
using ConflictQuestion = std::function<ConflictDecision(const QString &name, bool offerApplyToAll)>;

// "An item named “NAME” already exists. Do you want to replace it with the one you’re importing?"
QString conflictText(const QString &name);

// The export document: {"appID", "appVersion", "profiles": [...]}.
QByteArray exportDocument(const QList<const Profile *> &profiles);
// Writes the export document to the file, whole or not at all; the error is the file's own.
Status writeExportFile(const QString &path, const QList<Profile *> &profiles);

// The profile objects of an interchange file: the root array itself, or the array under
// "hosts" or under "profiles".
Result<QJsonArray> importableProfiles(const QByteArray &bytes);

// The largest file an import reads: an export of 10,000 profiles with five forwardings each
// is about 26 MB.
constexpr qint64 maxImportBytes = 128 * 1024 * 1024;

// Imports the file's profiles by uuid into the context: new ones are added, existing ones
// replaced (everything the file lacks is cleared) or skipped as the policy says, invalid ones
// skipped. One undo group named "Import from " + file name; saved when anything changed. A file
// that cannot be read, is no regular file (a FIFO, a device), is larger than maxImportBytes or
// holds no profiles changes nothing.
Result<ProfileImportResult> importProfiles(const QString &path, ObjectContext &context,
                                           ConflictPolicy policy, ConflictQuestion ask = {});
// The same for a document already read, from standard input for one; `name` names the undo
// group and the errors as the file name does.
Result<ProfileImportResult> importProfileDocument(const QByteArray &bytes, const QString &name,
                                                  ObjectContext &context, ConflictPolicy policy,
                                                  ConflictQuestion ask = {});
