#include "systemconfig.h"

#include "localized.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString systemConfigFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/VellSSH/ssh_config"_s;
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
    if (QFileInfo::exists(path))
        return std::nullopt;
    const QString folder = QFileInfo(path).absolutePath();
    QSaveFile file(path);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(defaultSystemConfigText().toUtf8()) < 0 || !file.commit()) {
        return Error(localized("The configuration file “%1” cannot be written: %2")
                         .arg(path, file.errorString()));
    }
    return std::nullopt;
}
