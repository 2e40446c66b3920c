#include "regularfiles.h"

#include "localized.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 chunkBytes = 1 << 20;

} // namespace

Result<int> openRegularDescriptor(const QString &path, int flags, Links links, struct stat &info)
{
    flags |= O_NONBLOCK | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0 && errno == ELOOP && links == Links::refuse)
        return Error(localized("it is a symbolic link"));
    if (fd < 0)
        return Error(systemReason());
    const bool stated = ::fstat(fd, &info) == 0;
    if (!stated || !S_ISREG(info.st_mode)) {
        const QString reason = stated ? localized("it is not a regular file") : systemReason();
        ::close(fd);
        return Error(reason);
    }
    return fd;
}

Status openRegularFile(QFile &file, const QString &path, Links links)
{
    struct stat info
    {
    };
    const Result<int> opened = openRegularDescriptor(path, O_RDONLY, links, info);
    if (!opened)
        return opened.error();
    const int fd = *opened;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Error(file.errorString());
    }
    return std::nullopt;
}

Result<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, Links links)
{
    QFile file;
    if (Status error = openRegularFile(file, path, links))
        return *error;
    const Error tooLarge(localized("it is larger than %1 bytes").arg(maxBytes));
    if (file.size() > maxBytes)
        return tooLarge;
    // The file may grow after its size was taken; what is read stays bounded all the same.
    QByteArray bytes;
    for (;;) {
        const QByteArray chunk = file.read(chunkBytes);
        if (file.error() != QFileDevice::NoError)
            return Error(file.errorString());
        if (chunk.isEmpty())
            return bytes;
        bytes += chunk;
        if (bytes.size() > maxBytes)
            return tooLarge;
    }
}
