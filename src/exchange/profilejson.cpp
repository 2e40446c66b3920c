#include "profilejson.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "profile.h"
#include "tag.h"
#include "uuidtext.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace {

QJsonValue json(const std::optional<QString> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}
QJsonValue json(const std::optional<QJsonObject> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}
QJsonValue json(const std::optional<QDateTime> &v)
{
    return v ? QJsonValue(v->toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}
QJsonValue json(qint32 v)
{
    return v;
}
QJsonValue json(qint16 v)
{
    return v;
}

template<class Data>
QJsonObject attributesJSON(const Data &data)
{
    QJsonObject object;
    forEachMember<Data>([&](int, auto member) {
        const QString name = QString::fromLatin1(member.name);
        const auto &value = data.*member.pointer;
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, bool>) {
            object.insert(name, value);
        } else if constexpr (std::is_same_v<Value, std::optional<QUuid>>) {
            object.insert(name, value ? QJsonValue(uuidText(*value)) : QJsonValue());
        } else {
            const QJsonValue converted = json(value);
            if (!converted.isNull())
                object.insert(name, converted);
        }
    });
    return object;
}

} // namespace

QJsonObject forwardingJSON(const Forwarding &forwarding)
{
    QJsonObject object = attributesJSON(forwarding.data());
    const ForwardingType kind = forwarding.kind();
    object.insert(u"type"_s, interchangeName(kind));
    if (isDynamic(kind)) {
        object.remove(u"targetAddress"_s);
        object.remove(u"targetPort"_s);
    }
    return object;
}

QJsonObject tagJSON(const Tag &tag)
{
    return attributesJSON(tag.data());
}

QList<const Forwarding *> forwardingsInOrder(const Profile &profile)
{
    QList<const Forwarding *> sorted(profile.forwardings().cbegin(), profile.forwardings().cend());
    std::sort(sorted.begin(), sorted.end(), [](const Forwarding *a, const Forwarding *b) {
        return std::tie(a->data().priority, a->data().uuid) <
               std::tie(b->data().priority, b->data().uuid);
    });
    return sorted;
}

QList<const Tag *> tagsInOrder(const Profile &profile)
{
    QList<const Tag *> sorted(profile.tags().cbegin(), profile.tags().cend());
    std::sort(sorted.begin(), sorted.end(), [](const Tag *a, const Tag *b) {
        const int byName = QString::compare(a->data().name.value_or(QString()),
                                            b->data().name.value_or(QString()));
        return byName != 0 ? byName < 0 : a->data().uuid < b->data().uuid;
    });
    return sorted;
}

QJsonObject profileJSON(const Profile &profile)
{
    QJsonObject object = attributesJSON(profile.data());
    QJsonArray forwardings;
    for (const Forwarding *forwarding : forwardingsInOrder(profile))
        forwardings.append(forwardingJSON(*forwarding));
    object.insert(u"forwardings"_s, forwardings);
    QJsonArray tags;
    for (const Tag *tag : tagsInOrder(profile))
        tags.append(tagJSON(*tag));
    object.insert(u"tags"_s, tags);
    return object;
}
