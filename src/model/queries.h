#pragma once

#include "result.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ObjectContext;
class Profile;
class Forwarding;
class Tag;
struct ObjectsDidChange;

// The records every listing starts from: profiles with a uuid whose address is not "/dev/tty".
bool isValidProfile(const Profile *profile);
QList<Profile *> validProfiles(const ObjectContext &context, bool sorted = true);

// Pinned first, then by name, case-insensitive and numeric-aware.
void sortByDefaultOrder(QList<Profile *> &profiles);

struct SidebarItem
{
    enum class Kind
    {
        all,
        recentDeleted,
        untagged,
        tag
    };
    Kind kind = Kind::all;
    Tag *tag = nullptr;

    static SidebarItem all() { return {Kind::all, nullptr}; }
    static SidebarItem trash() { return {Kind::recentDeleted, nullptr}; }
    static SidebarItem untagged() { return {Kind::untagged, nullptr}; }
    static SidebarItem forTag(Tag *tag) { return {Kind::tag, tag}; }
};

// Where a reference to a profile looks: among the live profiles, in the trash, or both.
enum class ProfileScope
{
    live,
    trash,
    all
};
constexpr int profileNotFoundCode = 1551;
constexpr int ambiguousProfileCode = 1552;
// The profile a user means by its uuid (in any form QUuid reads) or by its exact name, both
// trimmed as names are stored. A name that several profiles carry is refused with their uuids,
// so that the user can pick one.
Result<Profile *> resolveProfile(const ObjectContext &context, const QString &reference,
                                 ProfileScope scope = ProfileScope::live);
// Every profile named, each once, in the order first named; the first failure ends it.
Result<QList<Profile *>> resolveProfiles(const ObjectContext &context,
                                         const QStringList &references,
                                         ProfileScope scope = ProfileScope::live);

bool matchesSidebar(const Profile *profile, const SidebarItem &item);
QList<Profile *> profilesIn(const ObjectContext &context, const SidebarItem &item);

// Free-text search. The text is split at white space; a profile is found when every term occurs
// (ignoring case and diacritics, regex characters taken literally) in one of its name, address,
// port, user or note, one of its forwardings' note, addresses or ports, or one of its tags'
// names. A term is found anywhere in a field, on any line of it.
class ProfileSearch : public QObject
{
    Q_OBJECT

public:
    explicit ProfileSearch(ObjectContext *context, QObject *parent = nullptr);

    QList<Profile *> filter(const QList<Profile *> &profiles, const QString &text);
    static QStringList terms(const QString &text);

private:
    const QString &haystack(Profile *profile);
    void forget(const ObjectsDidChange &change);

    // One folded text per profile, its fields separated by a line break that no term holds.
    QHash<const Profile *, QString> m_haystacks;
};

void moveToTrash(const QList<Profile *> &profiles);
void recover(const QList<Profile *> &profiles, ObjectContext &context);
// The name followed by the first number from 2 that no live profile other than this one
// carries: what a profile gets when it comes (back) among the live ones under a taken name.
QString freeName(const QString &name, const Profile *profile, const ObjectContext &context);
// Names are unique among live profiles: a profile back among them under a name that another
// live profile took meanwhile gets a number, so that both stay editable.
void keepNameFree(Profile *profile, const ObjectContext &context);
// The same against names the caller keeps, by their folded key (ProfileValidationForm::nameKey).
QString freeName(const QString &name, const std::function<bool(const QString &key)> &taken);
// Deletes the profiles for good and saves: no undo step, and the undo history is cleared.
Status deletePermanently(const QList<Profile *> &profiles, ObjectContext &context);
void setPinned(const QList<Profile *> &profiles, bool pinned);

// The name of a copy of a profile named so: "Web Copy", "Web Copy 1", ...; copies in the trash
// count too.
QString copyName(const QString &name, const ObjectContext &context);
Profile *duplicateProfile(Profile *source, ObjectContext &context);
Forwarding *duplicateForwarding(Forwarding *source, Profile *target, ObjectContext &context);

QString newTagName(const ObjectContext &context);
// Rejects an empty name and one that another tag carries (exactly, case-sensitive); a rename
// passes the tag being renamed.
Status validateTagName(const QString &name, const Tag *renaming, const ObjectContext &context);
constexpr int validationErrorCode = 1550;

Tag *tagNamed(const QString &name, const ObjectContext &context);
