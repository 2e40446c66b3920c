#include "descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// As much as a pipe holds by default, so that one read usually empties it.
constexpr size_t chunkBytes = 65536;

} // namespace

Pipe makePipe()
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::pair<UniqueFd, UniqueFd> makeSocketPair()
{
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return {};
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

Drain drainAvailable(int fd, const std::function<void(QByteArrayView chunk)> &take)
{
    char buffer[chunkBytes];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            take(QByteArrayView(buffer, count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Drain::wouldBlock
                                                                      : Drain::ended;
    }
}
