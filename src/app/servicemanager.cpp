#include "servicemanager.h"

#include "uniquefd.h"

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace ServiceManager {

bool notify(const QByteArray &state)
{
    QByteArray path = qgetenv("NOTIFY_SOCKET");
    sockaddr_un address{};
    if (path.isEmpty() || path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    // A leading '@' names a socket in the abstract namespace, whose name starts with a zero.
    if (path.startsWith('@'))
        path[0] = '\0';
    else if (!path.startsWith('/'))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()));
    const UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    return fd && ::sendto(fd.get(), state.constData(), size_t(state.size()), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr *>(&address), length) == state.size();
}

} // namespace ServiceManager
