#include "queries.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "tag.h"
#include "textfolding.h"
#include "undostack.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

bool isValidProfile(const Profile *profile)
{
    return profile->uuid().has_value() && profile->address() != u"/dev/tty"_s;
}

QList<Profile *> validProfiles(const ObjectContext &context, bool sorted)
{
    QList<Profile *> profiles = context.profiles();
    profiles.removeIf([](const Profile *p) { return !isValidProfile(p); });
    if (sorted)
        sortByDefaultOrder(profiles);
    return profiles;
}

void sortByDefaultOrder(QList<Profile *> &profiles)
{
    std::stable_sort(profiles.begin(), profiles.end(), [](const Profile *a, const Profile *b) {
        if (a->priority() != b->priority())
            return a->priority() > b->priority();
        return compareNatural(a->name().value_or(QString()), b->name().value_or(QString())) < 0;
    });
}

bool matchesSidebar(const Profile *profile, const SidebarItem &item)
{
    if (profile->address() == u"/dev/tty"_s)
        return false;
    switch (item.kind) {
    case SidebarItem::Kind::all:
        return !profile->isInTrash();
    case SidebarItem::Kind::recentDeleted:
        return profile->isInTrash();
    case SidebarItem::Kind::untagged:
        return !profile->isInTrash() && profile->tags().isEmpty();
    case SidebarItem::Kind::tag:
        return !profile->isInTrash() && profile->hasTag(item.tag);
    }
    return false;
}

QList<Profile *> profilesIn(const ObjectContext &context, const SidebarItem &item)
{
    QList<Profile *> profiles = validProfiles(context);
    profiles.removeIf([&](const Profile *p) { return !matchesSidebar(p, item); });
    return profiles;
}

Result<Profile *> resolveProfile(const ObjectContext &context, const QString &reference,
                                 ProfileScope scope)
{
    const QString wanted = reference.trimmed();
    const QUuid uuid(wanted);
    QList<Profile *> matches;
    for (Profile *profile : validProfiles(context)) {
        if (scope != ProfileScope::all && (scope == ProfileScope::trash) != profile->isInTrash())
            continue;
        const bool named = profile->name() && profile->name()->trimmed() == wanted;
        if ((!uuid.isNull() && profile->uuid() == uuid) || named)
            matches.append(profile);
    }
    if (matches.isEmpty())
        return Error(localized("No profile “%1”.").arg(reference), {}, profileNotFoundCode);
    if (matches.size() == 1)
        return matches.first();
    QStringList lines;
    for (const Profile *profile : std::as_const(matches))
        lines.append(u"  "_s + profile->scriptUUID().value_or(QString()) + u"  "_s +
                     profile->displayName());
    return Error(localized("“%1” names %2 profiles; use a uuid:\n%3")
                     .arg(reference)
                     .arg(matches.size())
                     .arg(lines.join(u'\n')),
                 {}, ambiguousProfileCode);
}

Result<QList<Profile *>> resolveProfiles(const ObjectContext &context,
                                         const QStringList &references, ProfileScope scope)
{
    QList<Profile *> profiles;
    for (const QString &reference : references) {
        auto profile = resolveProfile(context, reference, scope);
        if (!profile)
            return profile.error();
        if (!profiles.contains(*profile))
            profiles.append(*profile);
    }
    return profiles;
}

ProfileSearch::ProfileSearch(ObjectContext *context, QObject *parent) : QObject(parent)
{
    connect(context, &ObjectContext::objectsDidChange, this, &ProfileSearch::forget);
}

QStringList ProfileSearch::terms(const QString &text)
{
    // Every white-space and line-break character of Unicode separates, not only the ASCII ones:
    // pasted text brings no-break spaces, ideographic spaces and line separators.
    QStringList terms;
    QString term;
    for (const QChar c : text) {
        if (!c.isSpace()) {
            term += c;
        } else if (!term.isEmpty()) {
            terms.append(term);
            term.clear();
        }
    }
    if (!term.isEmpty())
        terms.append(term);
    return terms;
}

QList<Profile *> ProfileSearch::filter(const QList<Profile *> &profiles, const QString &text)
{
    QStringList folded;
    for (const QString &term : terms(text))
        folded.append(foldedForSearch(term));
    if (folded.isEmpty())
        return profiles;
    QList<Profile *> found;
    for (Profile *profile : profiles) {
        const QString &text = haystack(profile);
        if (std::all_of(folded.cbegin(), folded.cend(),
                        [&](const QString &term) { return text.contains(term); }))
            found.append(profile);
    }
    return found;
}

namespace {

// Appends one field of the haystack; plain ASCII is lowered in place, the rest folded fully.
void appendField(QString &haystack, const QString &field)
{
    bool ascii = true;
    for (QChar c : field)
        ascii = ascii && c.unicode() < 0x80;
    if (!ascii) {
        haystack += foldedForSearch(field);
    } else {
        for (QChar c : field)
            haystack += c.unicode() >= u'A' && c.unicode() <= u'Z' ? QChar(c.unicode() + 32) : c;
    }
    haystack += u'\n';
}

void appendField(QString &haystack, const std::optional<QString> &field)
{
    if (field)
        appendField(haystack, *field);
}

void appendField(QString &haystack, qint32 number)
{
    haystack += QString::number(number);
    haystack += u'\n';
}

} // namespace

const QString &ProfileSearch::haystack(Profile *profile)
{
    auto it = m_haystacks.find(profile);
    if (it != m_haystacks.end())
        return *it;
    QString text;
    text.reserve(256);
    appendField(text, profile->name());
    appendField(text, profile->address());
    appendField(text, profile->port());
    appendField(text, profile->user());
    appendField(text, profile->note());
    for (const Forwarding *forwarding : profile->forwardings()) {
        appendField(text, forwarding->note());
        appendField(text, forwarding->bindAddress());
        appendField(text, forwarding->targetAddress());
        appendField(text, forwarding->bindPort());
        appendField(text, forwarding->targetPort());
    }
    for (const Tag *tag : profile->tags())
        appendField(text, tag->name());
    return *m_haystacks.insert(profile, text);
}

void ProfileSearch::forget(const ObjectsDidChange &change)
{
    auto drop = [this](const ManagedObject *object) {
        switch (object->entity()) {
        case Entity::profile:
            m_haystacks.remove(static_cast<const Profile *>(object));
            break;
        case Entity::forwarding:
            if (const Profile *owner = static_cast<const Forwarding *>(object)->profile())
                m_haystacks.remove(owner);
            break;
        case Entity::tag:
            for (const Profile *profile : static_cast<const Tag *>(object)->profiles())
                m_haystacks.remove(profile);
            break;
        }
    };
    // A forwarding that moved or vanished no longer names its old profile: start over then.
    if (!change.deleted.isEmpty()) {
        m_haystacks.clear();
        return;
    }
    for (const auto *list : {&change.inserted, &change.updated, &change.refreshed}) {
        for (const ManagedObject *object : *list)
            drop(object);
    }
}

void moveToTrash(const QList<Profile *> &profiles)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (Profile *profile : profiles)
        profile->setDeletedOn(now);
}

QString freeName(const QString &name, const std::function<bool(const QString &key)> &taken)
{
    for (int number = 2;; ++number) {
        const QString candidate = name + u' ' + QString::number(number);
        if (!taken(ProfileValidationForm::nameKey(candidate)))
            return candidate;
    }
}

QString freeName(const QString &name, const Profile *profile, const ObjectContext &context)
{
    // The live names are folded once, not once for every number tried.
    QSet<QString> taken;
    for (const Profile *other : context.profiles()) {
        if (other != profile && !other->isInTrash() && other->name())
            taken.insert(ProfileValidationForm::nameKey(*other->name()));
    }
    return freeName(name, [&](const QString &key) { return taken.contains(key); });
}

void keepNameFree(Profile *profile, const ObjectContext &context)
{
    if (profile->name() &&
        ProfileValidationForm::checkNameAvailable(*profile->name(), profile, context))
        profile->setName(freeName(profile->name()->trimmed(), profile, context));
}

void recover(const QList<Profile *> &profiles, ObjectContext &context)
{
    if (profiles.isEmpty())
        return;
    UndoStack *undo = context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    for (Profile *profile : profiles) {
        profile->setDeletedOn(std::nullopt);
        keepNameFree(profile, context);
    }
    context.processPendingChanges();
    if (undo) {
        if (profiles.size() > 1)
            undo->setActionName(localized("Recover Profiles"));
        else if (const auto &name = profiles.first()->name())
            undo->setActionName(localized("Recover “%1”").arg(*name));
        else
            undo->setActionName(localized("Recover Profile"));
        undo->endUndoGrouping();
    }
    if (auto error = context.saveIfChanged())
        qWarning("recover: %s", qPrintable(error->message));
}

Status deletePermanently(const QList<Profile *> &profiles, ObjectContext &context)
{
    if (profiles.isEmpty())
        return std::nullopt;
    context.performWithoutUndo([&] {
        for (Profile *profile : profiles)
            context.deleteObject(profile);
    });
    const Status error = context.saveIfChanged();
    // Earlier steps hold the deleted records and would bring them back, stripped of their
    // forwardings and tags. The whole history goes rather than the steps naming them: a later
    // step may rest on the state an earlier one left, so a history with holes would replay
    // edits onto states that never were.
    if (UndoStack *undo = context.undoStack())
        undo->removeAllActions();
    return error;
}

void setPinned(const QList<Profile *> &profiles, bool pinned)
{
    for (Profile *profile : profiles)
        profile->setPinned(pinned);
}

namespace {

// The largest number that the names matching the pattern carry in its first group; a match
// without a number counts as 0. No match at all gives no value. Names without the pattern's
// literal start are passed over first: pasting many copies into a large library asks once per
// copy, and the pattern costs far more than the test.
template<class Names>
std::optional<qint64> largestNumber(const Names &names, const QRegularExpression &pattern,
                                    QStringView start = {})
{
    std::optional<qint64> largest;
    for (const QString &name : names) {
        if (!name.startsWith(start))
            continue;
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const qint64 number = match.captured(1).toLongLong();
        largest = std::max(largest.value_or(0), number);
    }
    return largest;
}

QStringList profileNames(const ObjectContext &context)
{
    QStringList names;
    for (const Profile *profile : context.profiles()) {
        if (profile->name())
            names.append(*profile->name());
    }
    return names;
}

} // namespace

QString copyName(const QString &name, const ObjectContext &context)
{
    const QString copy = localized("Copy");
    const QRegularExpression copyOf(u"^(.*?)(?: "_s + QRegularExpression::escape(copy) +
                                    u"(?: ([0-9]+))?)$"_s);
    const QRegularExpressionMatch match = copyOf.match(name);
    const QString base = match.hasMatch() ? match.captured(1) : name;
    const QString prefix = base + u' ' + copy;
    const QRegularExpression copies(u'^' + QRegularExpression::escape(prefix) +
                                    u"(?: ([0-9]+))?$"_s);
    const auto largest = largestNumber(profileNames(context), copies, prefix);
    if (!largest)
        return prefix;
    return prefix + u' ' + QString::number(*largest + 1);
}

namespace {

// Every attribute but uuid; attributes the source holds no value for keep the copy's value.
template<class Data>
void copyValues(Data &copy, const Data &source)
{
    forEachMember<Data>([&](int index, auto member) {
        if (index == 0)
            return;
        const auto &value = source.*member.pointer;
        if constexpr (requires { value.has_value(); }) {
            if (!value.has_value())
                return;
        }
        copy.*member.pointer = value;
    });
}

} // namespace

Profile *duplicateProfile(Profile *source, ObjectContext &context)
{
    Profile *copy = context.insertProfile();
    copy->edit([&](ProfileData &data) { copyValues(data, source->data()); });
    for (Forwarding *forwarding : source->sortedForwardings())
        duplicateForwarding(forwarding, copy, context);
    copy->setTags(source->tags());
    copy->setName(copyName(source->displayName(), context));
    return copy;
}

Forwarding *duplicateForwarding(Forwarding *source, Profile *target, ObjectContext &context)
{
    Forwarding *copy = context.insertForwarding();
    copy->edit([&](ForwardingData &data) { copyValues(data, source->data()); });
    copy->setProfile(target);
    return copy;
}

QString newTagName(const ObjectContext &context)
{
    const QString base = localized("unnamed-tag");
    const QRegularExpression pattern(u'^' + QRegularExpression::escape(base) +
                                     u"(?: ([0-9]+))?$"_s);
    QStringList names;
    for (const Tag *tag : context.tags()) {
        if (tag->name())
            names.append(*tag->name());
    }
    const auto largest = largestNumber(names, pattern);
    if (!largest)
        return base;
    return base + u' ' + QString::number(*largest + 1);
}

Status validateTagName(const QString &name, const Tag *renaming, const ObjectContext &context)
{
    const QString suggestion = localized("Please choose a different name.");
    if (name.isEmpty())
        return Error{localized("Tag names can't be blank."), suggestion, validationErrorCode};
    for (const Tag *tag : context.tags()) {
        if (tag->name() != name)
            continue;
        if (renaming && renaming->uuid() && tag->uuid() == renaming->uuid())
            continue;
        return Error{localized("Tag name conflict"), suggestion, validationErrorCode};
    }
    return std::nullopt;
}

Tag *tagNamed(const QString &name, const ObjectContext &context)
{
    for (Tag *tag : context.tags()) {
        if (tag->name() == name)
            return tag;
    }
    return nullptr;
}
