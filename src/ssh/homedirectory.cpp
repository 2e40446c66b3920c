#include "homedirectory.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString lookUpRealHome()
{
    const QByteArray redirected = qgetenv("VELLSSH_TEST_REAL_HOME");
    if (!redirected.isEmpty())
        return QDir::cleanPath(QFile::decodeName(redirected));
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return QDir::cleanPath(QFile::decodeName(entry->pw_dir));
    return QDir::cleanPath(QDir::homePath());
}

} // namespace

QString realHomeDirectory()
{
    static const QString home = lookUpRealHome();
    return home;
}

QString expandingTilde(const QString &path)
{
    if (path == u"~"_s)
        return realHomeDirectory();
    if (!path.startsWith(u"~/"_s))
        return path;
    QString home = realHomeDirectory();
    if (!home.endsWith(u'/'))
        home += u'/';
    return home + path.mid(2);
}
