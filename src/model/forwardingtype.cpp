#include "forwardingtype.h"

#include "localized.h"

using namespace Qt::StringLiterals;

std::optional<ForwardingType> forwardingTypeFromRaw(qint16 raw)
{
    if (raw < 0 || raw > 3)
        return std::nullopt;
    return static_cast<ForwardingType>(raw);
}

ForwardingType forwardingTypeOrLocal(qint16 raw)
{
    return forwardingTypeFromRaw(raw).value_or(ForwardingType::local);
}

ForwardingType forwardingTypeFromInterchangeName(const QString &name)
{
    if (name == u"remote"_s)
        return ForwardingType::remote;
    if (name == u"dynamic"_s)
        return ForwardingType::dynamic;
    if (name == u"reverseDynamic"_s)
        return ForwardingType::reverseDynamic;
    return ForwardingType::local;
}

QString interchangeName(ForwardingType type)
{
    switch (type) {
    case ForwardingType::local:
        return u"local"_s;
    case ForwardingType::remote:
        return u"remote"_s;
    case ForwardingType::dynamic:
        return u"dynamic"_s;
    case ForwardingType::reverseDynamic:
        return u"reverseDynamic"_s;
    }
    return u"local"_s;
}

QString shortName(ForwardingType type)
{
    switch (type) {
    case ForwardingType::local:
        return localized("Local");
    case ForwardingType::remote:
        return localized("Remote");
    case ForwardingType::dynamic:
        return localized("Dynamic");
    case ForwardingType::reverseDynamic:
        return localized("Reverse Dynamic");
    }
    return {};
}

QString longTitle(ForwardingType type)
{
    switch (type) {
    case ForwardingType::local:
        return localized("Local Port Forwarding");
    case ForwardingType::remote:
        return localized("Remote Port Forwarding");
    case ForwardingType::dynamic:
        return localized("Dynamic Port Forwarding");
    case ForwardingType::reverseDynamic:
        return localized("Reverse Dynamic Port Forwarding");
    }
    return {};
}

bool isDynamic(ForwardingType type)
{
    return type == ForwardingType::dynamic || type == ForwardingType::reverseDynamic;
}
