#include "systemconfig.h"

#include "localized.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

QString systemConfigFilePath()
{
    const QByteArray redirected = qgetenv("VELLSSH_TEST_ETC_SSH");
    const QString folder =
        redirected.isEmpty() ? u"/etc/ssh"_s : QDir::cleanPath(QFile::decodeName(redirected));
    return folder + u"/ssh_config"_s;
}

QString defaultSystemConfigText()
{
    return u"# This is the Vell SSH system-wide configuration file.\n"
           "\n"
           "# Not all options listed in ssh_config(5) are supported, please see:\n"
           "# Vell SSH global defaults: https://vellssh.io/docs/global-defaults\n"
           "# for more information.\n"
           "\n"
           "Host *\n"
           "\tSendEnv LANG LC_*\n"_s;
}

Status ensureSystemConfigFile(const QString &path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path) || !folder.isDir() || !folder.isWritable())
        return std::nullopt;
    // Made new or not at all: a file that appeared meanwhile is somebody's and stays.
    QFile file(path);
    const QByteArray text = defaultSystemConfigText().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(text) != text.size() ||
        !file.flush()) {
        const QString reason = file.errorString();
        if (file.isOpen())
            file.remove();
        return Error(
            localized("The configuration file “%1” cannot be written: %2.").arg(path, reason));
    }
    return std::nullopt;
}

Result<QString> readConfigText(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return QString();
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        const QString reason = QFileInfo(path).isDir() ? systemReason(EISDIR) : file.errorString();
        return Error(
            localized("The configuration file “%1” cannot be read: %2.").arg(path, reason));
    }
    return QString::fromUtf8(file.readAll());
}

namespace {

// Whether the failure was the file's owner saying no, rather than a full disk or the like.
bool refusedToThisUser(const QString &path)
{
    const QString target = QFileInfo::exists(path) ? path : QFileInfo(path).absolutePath();
    if (::access(QFile::encodeName(target).constData(), W_OK) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

} // namespace

Status writeConfigText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    // /etc/ssh may let root write the file without room for a new one beside it.
    file.setDirectWriteFallback(true);
    const QByteArray data = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return std::nullopt;
    const QString reason = QFileInfo(path).isDir() ? systemReason(EISDIR) : file.errorString();
    const QString suggestion =
        refusedToThisUser(path)
            ? localized("Only an administrator can change this file. Your text stays here, "
                        "unsaved: to use it, save it in a file of your own and choose that file "
                        "as the configuration file under Locations.")
            : QString();
    return Error(localized("The configuration file “%1” cannot be written: %2.").arg(path, reason),
                 suggestion);
}
