#include "networkinterface.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

std::optional<QString> NetworkInterface::preferredAddress() const
{
    if (!ipv4Address.isEmpty())
        return ipv4Address;
    if (!ipv6Address.isEmpty())
        return ipv6Address;
    return std::nullopt;
}

QString NetworkInterface::title() const
{
    return displayName.isEmpty() ? bsdName : displayName + QStringLiteral(" (") + bsdName + u')';
}

QList<NetworkInterface> NetworkInterface::list()
{
    QList<NetworkInterface> interfaces;
    ifaddrs *addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return interfaces;
    for (ifaddrs *entry = addresses; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6)
            continue;
        char host[1025];
        const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (getnameinfo(entry->ifa_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) !=
            0)
            break;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        auto it = std::find_if(interfaces.begin(), interfaces.end(),
                               [&](const NetworkInterface &i) { return i.bsdName == name; });
        if (it == interfaces.end()) {
            interfaces.append(NetworkInterface{{}, name, {}, {}});
            it = interfaces.end() - 1;
        }
        (family == AF_INET ? it->ipv4Address : it->ipv6Address) = QString::fromLatin1(host);
    }
    freeifaddrs(addresses);
    return interfaces;
}
