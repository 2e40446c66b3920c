#pragma once

#include <QString>

#include <optional>

enum class ForwardingType : qint16
{
    local = 0,
    remote = 1,
    dynamic = 2,
    reverseDynamic = 3,
};

// The raw value stored in a forwarding; values outside 0...3 have no kind.
std::optional<ForwardingType> forwardingTypeFromRaw(qint16 raw);

// A raw value without a kind counts as a local forwarding wherever one must be chosen.
ForwardingType forwardingTypeOrLocal(qint16 raw);

// Exact, case-sensitive match of "local", "remote", "dynamic", "reverseDynamic"; anything else
// reads as local.
ForwardingType forwardingTypeFromInterchangeName(const QString &name);
QString interchangeName(ForwardingType type);

QString shortName(ForwardingType type);
QString longTitle(ForwardingType type);

bool isDynamic(ForwardingType type);
