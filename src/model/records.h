#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

// The stored attributes of the three records, as plain values. The managed objects of a context
// (Profile, Forwarding, Tag) wrap these and add their relationships. Every attribute is listed in
// members() under its stored name, so that saving, merging, undo, copies and the interchange
// format all walk one table instead of repeating the attribute list.

template<class Data, class T>
struct Member
{
    const char *name;
    T Data::*pointer;
};
// Clang before 17 deduces no template arguments for aggregates by itself; the fuzz build uses
// clang.
template<class Data, class T>
Member(const char *, T Data::*) -> Member<Data, T>;

struct ProfileData
{
    std::optional<QUuid> uuid;
    std::optional<QString> name;
    std::optional<QString> address;
    qint32 port = 0;
    std::optional<QString> user;
    std::optional<QString> privateKeyName;
    std::optional<QString> certificateName;
    std::optional<QJsonObject> options;
    std::optional<QJsonObject> shellOptions;
    std::optional<QJsonObject> infoDictionary;
    bool autoConnect = false;
    qint16 retryAttempts = 0;
    bool logToFile = false;
    std::optional<QString> logFilePath;
    std::optional<QString> note;
    qint16 priority = 0;
    std::optional<QDateTime> deletedOn;

    friend bool operator==(const ProfileData &, const ProfileData &) = default;

    static constexpr auto members()
    {
        using D = ProfileData;
        return std::tuple{
            Member{"uuid", &D::uuid},
            Member{"name", &D::name},
            Member{"address", &D::address},
            Member{"port", &D::port},
            Member{"user", &D::user},
            Member{"privateKeyName", &D::privateKeyName},
            Member{"certificateName", &D::certificateName},
            Member{"options", &D::options},
            Member{"shellOptions", &D::shellOptions},
            Member{"infoDictionary", &D::infoDictionary},
            Member{"autoConnect", &D::autoConnect},
            Member{"retryAttempts", &D::retryAttempts},
            Member{"logToFile", &D::logToFile},
            Member{"logFilePath", &D::logFilePath},
            Member{"note", &D::note},
            Member{"priority", &D::priority},
            Member{"deletedOn", &D::deletedOn},
        };
    }
};

struct ForwardingData
{
    std::optional<QUuid> uuid;
    qint16 type = 0;
    bool enabled = false;
    std::optional<QString> bindAddress;
    qint32 bindPort = 0;
    std::optional<QString> targetAddress;
    qint32 targetPort = 0;
    std::optional<QString> note;
    qint16 priority = 0;

    friend bool operator==(const ForwardingData &, const ForwardingData &) = default;

    static constexpr auto members()
    {
        using D = ForwardingData;
        return std::tuple{
            Member{"uuid", &D::uuid},
            Member{"type", &D::type},
            Member{"enabled", &D::enabled},
            Member{"bindAddress", &D::bindAddress},
            Member{"bindPort", &D::bindPort},
            Member{"targetAddress", &D::targetAddress},
            Member{"targetPort", &D::targetPort},
            Member{"note", &D::note},
            Member{"priority", &D::priority},
        };
    }
};

struct TagData
{
    std::optional<QUuid> uuid;
    std::optional<QString> name;

    friend bool operator==(const TagData &, const TagData &) = default;

    static constexpr auto members()
    {
        using D = TagData;
        return std::tuple{
            Member{"uuid", &D::uuid},
            Member{"name", &D::name},
        };
    }
};

// One bit per attribute in members() order; the bit after the last attribute stands for the
// relationship that the record owns (a profile's tags, a forwarding's profile, a tag's parent).
using AttributeMask = std::uint32_t;

template<class Data>
constexpr int attributeCount = int(std::tuple_size_v<decltype(Data::members())>);

template<class Data>
constexpr AttributeMask relationshipBit = AttributeMask(1) << attributeCount<Data>;

template<class Data, class F>
void forEachMember(F &&f)
{
    int index = 0;
    std::apply([&](auto... member) { ((f(index++, member)), ...); }, Data::members());
}

template<class Data>
AttributeMask differingAttributes(const Data &a, const Data &b)
{
    AttributeMask mask = 0;
    forEachMember<Data>([&](int index, auto member) {
        if (!(a.*member.pointer == b.*member.pointer))
            mask |= AttributeMask(1) << index;
    });
    return mask;
}

template<class Data>
void copyAttributes(Data &target, const Data &source, AttributeMask mask)
{
    forEachMember<Data>([&](int index, auto member) {
        if (mask & (AttributeMask(1) << index))
            target.*member.pointer = source.*member.pointer;
    });
}

// Names of the attributes in the mask, the relationship under relationshipName.
template<class Data>
QStringList attributeNames(AttributeMask mask, const char *relationshipName)
{
    QStringList names;
    forEachMember<Data>([&](int index, auto member) {
        if (mask & (AttributeMask(1) << index))
            names.append(QString::fromLatin1(member.name));
    });
    if (mask & relationshipBit<Data>)
        names.append(QString::fromLatin1(relationshipName));
    return names;
}

template<class Data>
AttributeMask attributeMask(const QStringList &names, const char *relationshipName)
{
    AttributeMask mask = 0;
    forEachMember<Data>([&](int index, auto member) {
        if (names.contains(QLatin1StringView(member.name)))
            mask |= AttributeMask(1) << index;
    });
    if (names.contains(QLatin1StringView(relationshipName)))
        mask |= relationshipBit<Data>;
    return mask;
}

template<class Data>
constexpr AttributeMask allAttributes = (relationshipBit<Data> << 1) - 1;
