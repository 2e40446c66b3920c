#pragma once

#include "profileimport.h"

#include <QHash>
#include <QJsonObject>
#include <QUuid>

class Forwarding;
class ObjectContext;
class Profile;
class Tag;

// What an import does with a profile that it leaves live under a name another live profile
// carries (names are unique among live profiles, ignoring case).
enum class TakenNames
{
    // The imported profile takes the name with the first free number, and the result says so.
    number,
    // Both keep the name, and the result's problems say so. Sync does this: devices renaming
    // each other's profiles would chase each other.
    report
};

// One import run: the existing records by uuid, the counters and the conflict answers. Profile
// objects are matched by "uuid" (a missing or broken one gives a new record with a fresh one);
// forwardings and tags likewise, taken or dropped by their validity alone. A forwarding whose
// uuid belongs to another profile stays there: the imported profile gets a new one with a fresh
// uuid. A new record starts from its values at creation and takes each member of the object
// that is valid for it; a profile with an integer its attribute cannot hold, a port that is no
// port, or a dictionary nested too deeply, is skipped with the reason.
class ProfileImporter
{
public:
    ProfileImporter(ObjectContext &context, ConflictPolicy policy, ConflictQuestion ask,
                    qsizetype count, TakenNames takenNames = TakenNames::number);

    // The imported or replaced profile, or none when it was skipped.
    Profile *importProfile(const QJsonObject &object);
    // The tag with the object's uuid, made or updated from it; none when it is invalid.
    Tag *importTag(const QJsonObject &object);
    ProfileImportResult result() const { return m_result; }
    // Deletes the record with the uuid, when there is one; a profile takes its forwardings.
    void deleteProfile(const QUuid &uuid);
    void deleteTag(const QUuid &uuid);
    Profile *profile(const QUuid &uuid) const { return m_profiles.value(uuid); }

    // From now on tags of one name are one tag, as tags made on several machines must be: the
    // one whose uuid sorts first, carrying the profiles of all; the others are deleted and
    // their uuids lead to it for the rest of the run.
    void mergeTagsByName();

private:
    bool shouldReplace(const QString &name);
    void forgetDeleted();
    void update(Profile *profile, const QJsonObject &object);
    void resolveTakenName(Profile *profile, bool added);
    void indexNames();
    void noteName(const Profile *profile);
    void forgetName(const Profile *profile);
    Forwarding *importForwarding(const QJsonObject &object, const Profile *owner);
    Tag *keepOneTagNamed(Tag *tag);
    Tag *survivor(Tag *tag) const;

    ObjectContext &m_context;
    ConflictQuestion m_ask;
    bool m_offerApplyToAll;
    bool m_applyToAll;
    bool m_replace;
    TakenNames m_takenNames;
    // The live profiles by name key, made when first needed and kept while the run changes
    // them: asking the context for each imported profile made large imports quadratic.
    std::optional<QMultiHash<QString, const Profile *>> m_liveNames;
    QHash<const Profile *, QString> m_nameKeys;
    QHash<QUuid, Profile *> m_profiles;
    QHash<QUuid, Forwarding *> m_forwardings;
    QHash<QUuid, Tag *> m_tags;
    bool m_mergeTagsByName = false;
    QHash<QString, Tag *> m_tagNames;
    QHash<QUuid, Tag *> m_tagAliases;
    ProfileImportResult m_result;
};
