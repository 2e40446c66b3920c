#include "forwardingtype.h"

#include "enumnames.h"
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

namespace {

constexpr auto interchangeNames = enumNames<ForwardingType>({
    {ForwardingType::local, "local"},
    {ForwardingType::remote, "remote"},
    {ForwardingType::dynamic, "dynamic"},
    {ForwardingType::reverseDynamic, "reverseDynamic"},
});

} // namespace

ForwardingType forwardingTypeFromInterchangeName(const QString &name)
{
    return interchangeNames.value(name).value_or(ForwardingType::local);
}

QString interchangeName(ForwardingType type)
{
    return interchangeNames.name(type);
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
