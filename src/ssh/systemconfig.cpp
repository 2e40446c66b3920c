#include "systemconfig.h"

#include "localized.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
            localized("The configuration file “%1” cannot be written: %2").arg(path, reason));
    }
    return std::nullopt;
}
