#include "profileimporter.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "tag.h"
#include "uuidtext.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Interchange files nest records two levels deep and sync journals one more; a dictionary
// deeper than this would make every later export or backup of the library too deep to read.
constexpr int maximumDictionaryDepth = 64;
constexpr qint32 largestPort = 65535;

bool isAbsent(const QJsonValue &v)
{
    return v.isNull() || v.isUndefined();
}

// An optional attribute is written only when it holds a value, so a member that is missing
// means none; one of the wrong type is not a value and changes nothing.
void assign(std::optional<QString> &to, const QJsonValue &v)
{
    if (v.isString())
        to = v.toString();
    else if (isAbsent(v))
        to.reset();
}
void assign(std::optional<QJsonObject> &to, const QJsonValue &v)
{
    if (v.isObject())
        to = v.toObject();
    else if (isAbsent(v))
        to.reset();
}
void assign(std::optional<QDateTime> &to, const QJsonValue &v)
{
    const QDateTime date = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    if (date.isValid())
        to = date;
    else if (isAbsent(v))
        to.reset();
}

bool isInteger(const QJsonValue &v)
{
    return v.isDouble() && std::isfinite(v.toDouble()) && v.toDouble() == std::trunc(v.toDouble());
}

template<class Int>
bool fits(const QJsonValue &v)
{
    return v.toDouble() >= double(std::numeric_limits<Int>::min()) &&
           v.toDouble() <= double(std::numeric_limits<Int>::max());
}

template<class Int>
requires std::is_integral_v<Int>
void assign(Int &to, const QJsonValue &v)
{
    if (isInteger(v) && fits<Int>(v))
        to = Int(v.toInteger());
}

// Every attribute that the object holds validly, over what the record holds: a record made by
// the import starts from its values at creation. The uuid is the record's identity, given when
// it was made and never taken from the object afterwards.
template<class Data>
void updateAttributes(Data &data, const QJsonObject &object)
{
    forEachMember<Data>([&](int, auto member) {
        const QJsonValue value = object.value(QString::fromLatin1(member.name));
        auto &field = data.*member.pointer;
        using Field = std::decay_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, bool>) {
            if (value.isBool())
                field = value.toBool();
        } else if constexpr (!std::is_same_v<Field, std::optional<QUuid>>) {
            assign(field, value);
        }
    });
}

bool nestsDeeperThan(const QJsonValue &value, int levels)
{
    if (!value.isObject() && !value.isArray())
        return false;
    if (levels == 0)
        return true;
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::any_of(array.begin(), array.end(), [&](const QJsonValue &inner) {
            return nestsDeeperThan(inner, levels - 1);
        });
    }
    const QJsonObject object = value.toObject();
    return std::any_of(object.begin(), object.end(),
                       [&](const QJsonValue &inner) { return nestsDeeperThan(inner, levels - 1); });
}

// Why the attributes of the object cannot be stored: an integer that its attribute cannot
// hold (it would wrap to another value), or a dictionary nested too deeply.
template<class Data>
std::optional<QString> attributesProblem(const QJsonObject &object)
{
    std::optional<QString> problem;
    forEachMember<Data>([&](int, auto member) {
        const QString name = QString::fromLatin1(member.name);
        const QJsonValue value = object.value(name);
        using Field = std::decay_t<decltype(std::declval<Data>().*member.pointer)>;
        if (problem)
            return;
        if constexpr (std::is_integral_v<Field> && !std::is_same_v<Field, bool>) {
            if (isInteger(value) && !fits<Field>(value))
                problem = localized("“%1” is %2, outside %3 to %4")
                              .arg(name, QString::number(value.toDouble(), 'f', 0))
                              .arg(std::numeric_limits<Field>::min())
                              .arg(std::numeric_limits<Field>::max());
        } else if constexpr (std::is_same_v<Field, std::optional<QJsonObject>>) {
            if (nestsDeeperThan(value, maximumDictionaryDepth))
                problem = localized("“%1” nests deeper than %2 levels")
                              .arg(name)
                              .arg(maximumDictionaryDepth);
        }
    });
    return problem;
}

QString outsidePorts(const QString &name, qint32 value, qint32 lowest)
{
    return localized("“%1” is %2, outside %3 to %4")
        .arg(name)
        .arg(value)
        .arg(lowest)
        .arg(largestPort);
}

bool isPort(qint32 value)
{
    return value >= 1 && value <= largestPort;
}

// The object's members with "type" as the raw value that the record stores.
QJsonObject forwardingValues(const QJsonObject &object)
{
    QJsonObject values = object;
    if (object.value(u"type"_s).isString())
        values.insert(u"type"_s, qint16(forwardingTypeFromInterchangeName(
                                     object.value(u"type"_s).toString())));
    else
        values.remove(u"type"_s);
    return values;
}

// A name as a message quotes it: one of megabytes would flood the terminal.
QString elided(const QString &name)
{
    constexpr qsizetype shown = 80;
    return name.size() <= shown ? name : name.left(shown) + u'…';
}

bool validForwarding(const QJsonObject &o)
{
    if (!isInteger(o.value(u"bindPort"_s)) || !o.value(u"type"_s).isString())
        return false;
    return isDynamic(forwardingTypeFromInterchangeName(o.value(u"type"_s).toString())) ||
           (o.value(u"targetAddress"_s).isString() && isInteger(o.value(u"targetPort"_s)));
}

// The first port of an enabled forwarding that keeps it from being used, as the editor would
// refuse it; an unusable forwarding whose ports are not what is wrong with it passes as before.
std::optional<QString> forwardingPortProblem(const QJsonObject &o)
{
    if (!validForwarding(o))
        return std::nullopt;
    ForwardingData values;
    values.enabled = true;
    updateAttributes(values, forwardingValues(o));
    if (!values.enabled || ProfileValidationForm::isAcceptable(values))
        return std::nullopt;
    ForwardingData inRange = values;
    std::optional<QString> first;
    for (const auto &[name, port] : {std::pair(u"bindPort"_s, &ForwardingData::bindPort),
                                     std::pair(u"targetPort"_s, &ForwardingData::targetPort)}) {
        if (isPort(inRange.*port))
            continue;
        if (!first)
            first = outsidePorts(name, inRange.*port, 1);
        inRange.*port = 1;
        if (ProfileValidationForm::isAcceptable(inRange))
            return first;
    }
    // What ssh would read as an option, or what would garble every listing, is never taken.
    for (const auto &[name, address] : {std::pair(u"bindAddress"_s, &values.bindAddress),
                                        std::pair(u"targetAddress"_s, &values.targetAddress)}) {
        if (!ProfileValidationForm::isAcceptableAddress(*address))
            return localized("“%1” is not an address that ssh takes").arg(name);
    }
    return std::nullopt;
}

std::optional<QString> profileProblem(const QJsonObject &o)
{
    if (!o.value(u"name"_s).isString())
        return localized("it has no name");
    if (!o.value(u"address"_s).isString())
        return localized("it has no address");
    if (auto problem = attributesProblem<ProfileData>(o))
        return problem;
    // A profile's port of 0 is none.
    const QJsonValue port = o.value(u"port"_s);
    if (isInteger(port) && (port.toInteger() < 0 || port.toInteger() > largestPort))
        return outsidePorts(u"port"_s, qint32(port.toInteger()), 0);
    for (const QJsonValue &value : o.value(u"forwardings"_s).toArray()) {
        const QJsonObject forwarding = value.toObject();
        std::optional<QString> problem = attributesProblem<ForwardingData>(forwarding);
        if (!problem)
            problem = forwardingPortProblem(forwarding);
        if (problem)
            return localized("a forwarding’s %1").arg(*problem);
    }
    ProfileData fields;
    updateAttributes(fields, o);
    return ProfileValidationForm::fieldProblem(fields);
}

// A new record with its values at creation, under the identity the object asked for.
template<class Object>
Object *madeWith(ObjectContext &context, const QUuid &uuid)
{
    Object *object = nullptr;
    if constexpr (std::is_same_v<Object, Profile>)
        object = context.insertProfile();
    else if constexpr (std::is_same_v<Object, Forwarding>)
        object = context.insertForwarding();
    else
        object = context.insertTag();
    object->edit([&](auto &data) { data.uuid = uuid; });
    return object;
}

QUuid uniqueID(const QJsonObject &object)
{
    const std::optional<QUuid> uuid = uuidFromText(object.value(u"uuid"_s).toString());
    return uuid ? *uuid : QUuid::createUuid();
}

bool validTag(const QJsonObject &o)
{
    return o.value(u"name"_s).isString();
}

template<class Object>
QHash<QUuid, Object *> byUUID(const QList<Object *> &objects)
{
    QHash<QUuid, Object *> index;
    for (Object *object : objects) {
        if (object->data().uuid)
            index.insert(*object->data().uuid, object);
    }
    return index;
}

} // namespace

ProfileImporter::ProfileImporter(ObjectContext &context, ConflictPolicy policy,
                                 ConflictQuestion ask, qsizetype count, TakenNames takenNames)
    : m_context(context), m_ask(std::move(ask)), m_offerApplyToAll(count >= 2),
      m_applyToAll(policy != ConflictPolicy::ask), m_replace(policy == ConflictPolicy::replaceAll),
      m_takenNames(takenNames), m_profiles(byUUID(context.profiles())),
      m_forwardings(byUUID(context.forwardings())), m_tags(byUUID(context.tags()))
{}

Profile *ProfileImporter::importProfile(const QJsonObject &object)
{
    const QUuid uuid = uniqueID(object);
    Profile *existing = m_profiles.value(uuid);
    if (const std::optional<QString> problem = profileProblem(object)) {
        ++m_result.skipped;
        const QJsonValue name = object.value(u"name"_s);
        m_result.problems.append(
            (name.isString()
                 ? localized("“%1” was skipped: %2").arg(elided(name.toString()), *problem)
                 : localized("A profile was skipped: %1").arg(*problem)) +
            u'.');
        return nullptr;
    }
    if (existing && !shouldReplace(object.value(u"name"_s).toString())) {
        ++m_result.skipped;
        return nullptr;
    }
    // Another writer may have deleted it while the question was open: it comes in anew.
    if (existing && existing->isDeleted())
        existing = nullptr;
    ++(existing ? m_result.replaced : m_result.added);
    Profile *profile = existing ? existing : madeWith<Profile>(m_context, uuid);
    m_profiles.insert(uuid, profile);
    update(profile, object);
    resolveTakenName(profile, !existing);
    return profile;
}

void ProfileImporter::resolveTakenName(Profile *profile, bool added)
{
    indexNames();
    forgetName(profile);
    if (profile->isInTrash() || !profile->name())
        return;
    const QString name = *profile->name();
    if (m_liveNames->contains(ProfileValidationForm::nameKey(name))) {
        if (m_takenNames == TakenNames::report) {
            m_result.problems.append(
                localized("“%1” shares its name with another profile: rename one of them.")
                    .arg(name));
        } else {
            profile->setName(freeName(
                name.trimmed(), [this](const QString &key) { return m_liveNames->contains(key); }));
            m_result.renamed.append(
                (added ? localized("“%1” was added as “%2”: the name is taken.")
                       : localized("“%1” was imported as “%2”: the name is taken."))
                    .arg(name, *profile->name()));
        }
    }
    noteName(profile);
}

void ProfileImporter::indexNames()
{
    if (m_liveNames)
        return;
    m_liveNames.emplace();
    for (const Profile *profile : m_context.profiles()) {
        if (!profile->isInTrash() && profile->name())
            noteName(profile);
    }
}

void ProfileImporter::noteName(const Profile *profile)
{
    const QString key = ProfileValidationForm::nameKey(*profile->name());
    m_liveNames->insert(key, profile);
    m_nameKeys.insert(profile, key);
}

void ProfileImporter::forgetName(const Profile *profile)
{
    if (m_liveNames && m_nameKeys.contains(profile))
        m_liveNames->remove(m_nameKeys.take(profile), profile);
}

bool ProfileImporter::shouldReplace(const QString &name)
{
    if (!m_applyToAll && m_ask) {
        const ConflictDecision decision = m_ask(name, m_offerApplyToAll);
        // The answer may come much later: go on from what the store holds now.
        if (Status error = m_context.mergeCommitted())
            qWarning("import: %s", qPrintable(error->message));
        forgetDeleted();
        m_replace = decision.replace;
        m_applyToAll = decision.applyToAll && m_offerApplyToAll;
    } else if (!m_applyToAll) {
        m_replace = false;
    }
    return m_replace;
}

// While a question is open, the changes of other writers are merged: what they deleted is no
// longer there to be matched or replaced.
void ProfileImporter::forgetDeleted()
{
    const auto deleted = [](auto it) { return it.value()->isDeleted(); };
    m_profiles.removeIf(deleted);
    m_forwardings.removeIf(deleted);
    m_tags.removeIf(deleted);
    m_tagNames.removeIf(deleted);
    m_tagAliases.removeIf(deleted);
    if (m_liveNames)
        m_liveNames->removeIf(deleted);
    m_nameKeys.removeIf([](auto it) { return it.key()->isDeleted(); });
}

void ProfileImporter::update(Profile *profile, const QJsonObject &object)
{
    if (object.value(u"forwardings"_s).isArray()) {
        QList<Forwarding *> kept;
        for (const QJsonValue &value : object.value(u"forwardings"_s).toArray()) {
            QJsonObject values = value.toObject();
            // A uuid that the profile lists twice would merge two forwardings into one: the
            // second becomes a forwarding of its own.
            const std::optional<QUuid> listed = uuidFromText(values.value(u"uuid"_s).toString());
            if (listed && std::any_of(kept.cbegin(), kept.cend(),
                                      [&](Forwarding *f) { return f->data().uuid == listed; }))
                values.remove(u"uuid"_s);
            if (Forwarding *forwarding = importForwarding(values, profile)) {
                forwarding->setProfile(profile);
                kept.append(forwarding);
            }
        }
        // A forwarding belongs to its profile alone: one the file no longer lists goes.
        const QList<Forwarding *> previous = profile->forwardings();
        for (Forwarding *forwarding : previous) {
            if (!kept.contains(forwarding)) {
                m_forwardings.remove(forwarding->data().uuid.value_or(QUuid()));
                m_context.deleteObject(forwarding);
            }
        }
    }
    if (object.value(u"tags"_s).isArray()) {
        QList<Tag *> imported;
        for (const QJsonValue &value : object.value(u"tags"_s).toArray()) {
            if (Tag *tag = importTag(value.toObject()))
                imported.append(tag);
        }
        // A tag that a later one of the same name replaced on the way is that one now.
        QList<Tag *> tags;
        for (Tag *tag : std::as_const(imported)) {
            tag = survivor(tag);
            if (!tags.contains(tag))
                tags.append(tag);
        }
        profile->setTags(tags);
    }
    profile->edit([&](ProfileData &d) { updateAttributes(d, object); });
}

Forwarding *ProfileImporter::importForwarding(const QJsonObject &object, const Profile *owner)
{
    if (!validForwarding(object))
        return nullptr;
    QUuid uuid = uniqueID(object);
    Forwarding *forwarding = m_forwardings.value(uuid);
    // A copy of a profile under another uuid still lists the original's forwardings: they stay
    // where they are, and the copy gets forwardings of its own.
    if (forwarding && forwarding->profile() && forwarding->profile() != owner) {
        uuid = QUuid::createUuid();
        forwarding = nullptr;
    }
    if (!forwarding) {
        forwarding = madeWith<Forwarding>(m_context, uuid);
        m_forwardings.insert(uuid, forwarding);
    }
    const QJsonObject values = forwardingValues(object);
    forwarding->edit([&](ForwardingData &d) { updateAttributes(d, values); });
    return forwarding;
}

Tag *ProfileImporter::importTag(const QJsonObject &object)
{
    if (!validTag(object))
        return nullptr;
    const QUuid uuid = uniqueID(object);
    if (Tag *kept = m_tagAliases.value(uuid))
        return survivor(kept);
    Tag *tag = m_tags.value(uuid);
    if (!tag) {
        tag = madeWith<Tag>(m_context, uuid);
        m_tags.insert(uuid, tag);
    }
    tag->edit([&](TagData &d) { updateAttributes(d, object); });
    return m_mergeTagsByName ? keepOneTagNamed(tag) : tag;
}

// The tag itself, or the one it was merged into, itself perhaps merged since.
Tag *ProfileImporter::survivor(Tag *tag) const
{
    while (Tag *next = m_tagAliases.value(*tag->data().uuid))
        tag = next;
    return tag;
}

void ProfileImporter::mergeTagsByName()
{
    m_mergeTagsByName = true;
    const QList<Tag *> tags = m_tags.values();
    for (Tag *tag : tags) {
        if (m_tags.contains(*tag->data().uuid))
            keepOneTagNamed(tag);
    }
}

Tag *ProfileImporter::keepOneTagNamed(Tag *tag)
{
    const QString name = tag->data().name.value_or(QString());
    Tag *other = m_tagNames.value(name);
    // An entry can be left behind by a rename.
    if (!other || other == tag || other->data().name != tag->data().name) {
        m_tagNames.insert(name, tag);
        return tag;
    }
    auto [kept, gone] =
        *other->data().uuid < *tag->data().uuid ? std::pair(other, tag) : std::pair(tag, other);
    const QList<Profile *> profiles = gone->profiles();
    for (Profile *profile : profiles)
        profile->addTag(kept);
    const QUuid goneUUID = *gone->data().uuid;
    m_tags.remove(goneUUID);
    m_tagAliases.insert(goneUUID, kept);
    m_tagNames.insert(name, kept);
    m_context.deleteObject(gone);
    return kept;
}

void ProfileImporter::deleteProfile(const QUuid &uuid)
{
    Profile *profile = m_profiles.take(uuid);
    if (!profile)
        return;
    for (const Forwarding *forwarding : profile->forwardings())
        m_forwardings.remove(forwarding->data().uuid.value_or(QUuid()));
    forgetName(profile);
    m_context.deleteObject(profile);
}

void ProfileImporter::deleteTag(const QUuid &uuid)
{
    if (Tag *tag = m_tags.take(uuid))
        m_context.deleteObject(tag);
}
