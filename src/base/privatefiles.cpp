#include "privatefiles.h"

#include "localized.h"
#include "regularfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// As many links as the system follows in one path.
constexpr int maxLinks = 40;

// A file that others may read was either made under a loose umask or by an older version.
bool narrow(const struct stat &info)
{
    return info.st_uid == ::geteuid() && (info.st_mode & 077) != 0;
}

// The file that a write to `path` replaces: the path itself, or where its links lead when they
// are followed, so that the link stays a link. A device, a FIFO, a socket or a folder there is
// refused rather than swapped for a regular file.
Result<QString> replaceableFile(const QString &path, Links links)
{
    QString target = path;
    for (int hops = 0;; ++hops) {
        const QByteArray name = QFile::encodeName(target);
        struct stat info
        {
        };
        if (::lstat(name.constData(), &info) != 0)
            return errno == ENOENT ? Result<QString>(target)
                                   : Result<QString>(Error(systemReason()));
        if (S_ISREG(info.st_mode) || (S_ISLNK(info.st_mode) && links == Links::refuse))
            return target;
        if (!S_ISLNK(info.st_mode))
            return Error(localized("“%1” is not a regular file.").arg(target));
        if (hops == maxLinks)
            return Error(systemReason(ELOOP));
        QByteArray destination(PATH_MAX, Qt::Uninitialized);
        const ssize_t size = ::readlink(name.constData(), destination.data(), PATH_MAX);
        if (size < 0)
            return Error(systemReason());
        destination.truncate(size);
        target = QDir::cleanPath(
            QFileInfo(target).absoluteDir().absoluteFilePath(QFile::decodeName(destination)));
    }
}

} // namespace

Status createPrivateFile(const QString &path)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return Error{localized("The folder “%1” cannot be created.").arg(info.absolutePath())};
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return std::nullopt;
    }
    struct stat existing
    {
    };
    if (errno != EEXIST || ::stat(name.constData(), &existing) != 0 ||
        (narrow(existing) && ::chmod(name.constData(), existing.st_mode & 0700) != 0)) {
        return Error{localized("The file “%1” cannot be created: %2").arg(path, systemReason())};
    }
    return std::nullopt;
}

Status writePrivateFile(const QString &path, const QByteArray &contents, Links links)
{
    const Result<QString> target = replaceableFile(path, links);
    if (!target)
        return target.error();
    const QFileInfo info(*target);
    // A temporary file is made 0600, and the rename brings its mode along.
    QTemporaryFile file(info.absolutePath() + u"/."_s + info.fileName() + u".XXXXXX"_s);
    if (!file.open() || file.write(contents) != contents.size() || !file.flush())
        return Error(file.errorString());
    if (::fsync(file.handle()) != 0 || ::rename(QFile::encodeName(file.fileName()).constData(),
                                                QFile::encodeName(*target).constData()) != 0)
        return Error(systemReason());
    file.setAutoRemove(false);
    return std::nullopt;
}

Status appendPrivateFile(const QString &path, QByteArray lines)
{
    // A link or a FIFO put in place of the file would take the lines elsewhere or hold the
    // writer.
    struct stat existing
    {
    };
    const Result<int> opened =
        openRegularDescriptor(path, O_RDWR | O_APPEND | O_CREAT, Links::refuse, existing);
    if (!opened)
        return opened.error();
    const int fd = *opened;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (narrow(existing) && ::fchmod(fd, existing.st_mode & 0700) != 0)
        return Error(systemReason());
    char last = '\n';
    if (existing.st_size > 0 && ::pread(fd, &last, 1, existing.st_size - 1) != 1)
        return Error(systemReason());
    if (last != '\n')
        lines.prepend('\n');
    for (qsizetype written = 0; written < lines.size();) {
        const ssize_t count =
            ::write(fd, lines.constData() + written, size_t(lines.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const QString reason = systemReason();
            [[maybe_unused]] const int undone = ::ftruncate(fd, existing.st_size);
            return Error(reason);
        }
        written += count;
    }
    return std::nullopt;
}

Status verifyPrivateFolder(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Error(localized("The folder “%1” cannot be used: %2").arg(path, systemReason()));
    QString reason;
    if (S_ISLNK(info.st_mode))
        reason = localized("it is a symbolic link");
    else if (!S_ISDIR(info.st_mode))
        reason = localized("it is not a folder");
    else if (info.st_uid != ::geteuid())
        reason = localized("it belongs to another user (uid %1)").arg(info.st_uid);
    else if ((info.st_mode & 0777) != 0700)
        reason = localized("its mode is %1, and only 0700 keeps other users out")
                     .arg(QString::number(info.st_mode & 0777, 8).rightJustified(4, u'0'));
    if (reason.isEmpty())
        return std::nullopt;
    return Error(localized("The folder “%1” is not private: %2.").arg(path, reason));
}

Status makePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing
    {
    };
    if (::mkdir(name.constData(), 0700) == 0) {
        // The umask may have taken the owner's own bits as well.
        ::chmod(name.constData(), 0700);
    } else if (errno != EEXIST) {
        return Error(localized("The folder “%1” cannot be created: %2").arg(path, systemReason()));
    } else if (::lstat(name.constData(), &existing) == 0 && S_ISDIR(existing.st_mode) &&
               existing.st_uid == ::geteuid() && (existing.st_mode & 022) == 0) {
        // Older versions made it under the umask; nobody else can have put anything in it.
        ::chmod(name.constData(), 0700);
    }
    return verifyPrivateFolder(path);
}
