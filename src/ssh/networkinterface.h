#pragma once

#include <QList>
#include <QString>

#include <optional>

// A network interface the bind-address control offers. Interfaces are known by their kernel
// names; there is no separate service name here, so displayName stays empty.
struct NetworkInterface
{
    QString displayName;
    QString bsdName;
    QString ipv4Address;
    QString ipv6Address;

    friend bool operator==(const NetworkInterface &, const NetworkInterface &) = default;

    std::optional<QString> preferredAddress() const;
    QString title() const;

    // Every interface with an IPv4 or IPv6 address, in the order the kernel lists them.
    static QList<NetworkInterface> list();
};
