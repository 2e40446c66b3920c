#pragma once

#include <QByteArray>

#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

// The address of a Unix socket at `path` (already in the file system's encoding), or none when
// the path does not fit.
inline std::optional<sockaddr_un> unixSocketAddress(const QByteArray &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

inline const sockaddr *asSockaddr(const sockaddr_un &address)
{
    return reinterpret_cast<const sockaddr *>(&address);
}
