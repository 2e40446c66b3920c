#include "profileimporter.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "objectcontext.h"
#include "profile.h"
#include "tag.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace {

void assign(std::optional<QString> &to, const QJsonValue &v)
{
    to = v.isString() ? std::optional(v.toString()) : std::nullopt;
}
void assign(std::optional<QJsonObject> &to, const QJsonValue &v)
{
    to = v.isObject() ? std::optional(v.toObject()) : std::nullopt;
}
void assign(std::optional<QDateTime> &to, const QJsonValue &v)
{
    const QDateTime date = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    to = date.isValid() ? std::optional(date) : std::nullopt;
}
void assign(qint32 &to, const QJsonValue &v)
{
    to = v.isDouble() ? qint32(v.toInteger()) : 0;
}
void assign(qint16 &to, const QJsonValue &v)
{
    to = v.isDouble() ? qint16(v.toInteger()) : 0;
}

// Every attribute from the object: booleans only from JSON booleans, uuids only from strings,
// everything else to the member's value or to none.
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
        } else if constexpr (std::is_same_v<Field, std::optional<QUuid>>) {
            if (value.isString()) {
                const QUuid uuid(value.toString());
                field = uuid.isNull() ? std::nullopt : std::optional(uuid);
            }
        } else {
            assign(field, value);
        }
    });
}

template<class Data>
Data withUUID(const QUuid &uuid)
{
    Data data;
    data.uuid = uuid;
    return data;
}

QUuid uniqueID(const QJsonObject &object)
{
    const QUuid uuid(object.value(u"uuid"_s).toString());
    return uuid.isNull() ? QUuid::createUuid() : uuid;
}

bool validProfile(const QJsonObject &o)
{
    return o.value(u"name"_s).isString() && o.value(u"address"_s).isString();
}

bool isInteger(const QJsonValue &v)
{
    return v.isDouble() && v.toDouble() == double(v.toInteger());
}

bool validForwarding(const QJsonObject &o)
{
    if (!isInteger(o.value(u"bindPort"_s)) || !o.value(u"type"_s).isString())
        return false;
    return isDynamic(forwardingTypeFromInterchangeName(o.value(u"type"_s).toString())) ||
           (o.value(u"targetAddress"_s).isString() && isInteger(o.value(u"targetPort"_s)));
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
                                 ConflictQuestion ask, qsizetype count)
    : m_context(context), m_ask(std::move(ask)), m_offerApplyToAll(count >= 2),
      m_applyToAll(policy != ConflictPolicy::ask), m_replace(policy == ConflictPolicy::replaceAll),
      m_profiles(byUUID(context.profiles())), m_forwardings(byUUID(context.forwardings())),
      m_tags(byUUID(context.tags()))
{}

Profile *ProfileImporter::importProfile(const QJsonObject &object)
{
    const QUuid uuid = uniqueID(object);
    const bool valid = validProfile(object);
    Profile *existing = m_profiles.value(uuid);
    if (!valid) {
        ++m_result.skipped;
        return nullptr;
    }
    if (existing && !shouldReplace(object.value(u"name"_s).toString())) {
        ++m_result.skipped;
        return nullptr;
    }
    ++(existing ? m_result.replaced : m_result.added);
    Profile *profile = existing ? existing : m_context.insertProfile(withUUID<ProfileData>(uuid));
    m_profiles.insert(uuid, profile);
    update(profile, object);
    return profile;
}

bool ProfileImporter::shouldReplace(const QString &name)
{
    if (!m_applyToAll && m_ask) {
        const ConflictDecision decision = m_ask(name, m_offerApplyToAll);
        m_replace = decision.replace;
        m_applyToAll = decision.applyToAll && m_offerApplyToAll;
    } else if (!m_applyToAll) {
        m_replace = false;
    }
    return m_replace;
}

void ProfileImporter::update(Profile *profile, const QJsonObject &object)
{
    if (object.value(u"forwardings"_s).isArray()) {
        QList<Forwarding *> kept;
        for (const QJsonValue &value : object.value(u"forwardings"_s).toArray()) {
            if (Forwarding *forwarding = importForwarding(value.toObject())) {
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

Forwarding *ProfileImporter::importForwarding(const QJsonObject &object)
{
    if (!validForwarding(object))
        return nullptr;
    const QUuid uuid = uniqueID(object);
    Forwarding *forwarding = m_forwardings.value(uuid);
    if (!forwarding) {
        forwarding = m_context.insertForwarding(withUUID<ForwardingData>(uuid));
        m_forwardings.insert(uuid, forwarding);
    }
    QJsonObject values = object;
    if (object.value(u"type"_s).isString())
        values.insert(u"type"_s, qint16(forwardingTypeFromInterchangeName(
                                     object.value(u"type"_s).toString())));
    else
        values.remove(u"type"_s);
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
        tag = m_context.insertTag(withUUID<TagData>(uuid));
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
    m_context.deleteObject(profile);
}

void ProfileImporter::deleteTag(const QUuid &uuid)
{
    if (Tag *tag = m_tags.take(uuid))
        m_context.deleteObject(tag);
}
