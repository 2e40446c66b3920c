#include "testenvironment.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

TestEnvironment::TestEnvironment()
{
    const QProcessEnvironment environment = processEnvironment();
    for (const QString &name : environment.keys()) {
        QDir().mkpath(environment.value(name));
        qputenv(name.toLocal8Bit().constData(), environment.value(name).toLocal8Bit());
    }
    // No test reaches the project's site: the release feed is a port of this machine where
    // nothing listens, unless a test serves one there itself.
    qputenv("VELLSSH_TEST_APPCAST_URL", "http://127.0.0.1:9/appcast.xml");
    // The machine's own system bus is never asked about sleep or the network: a test that plays
    // those services has a private one (VELL_SYSTEM_BUS), the others have none.
    if (!qEnvironmentVariableIsSet("VELL_SYSTEM_BUS"))
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                QByteArray("unix:path=") + QFile::encodeName(root()) + "/no-system-bus");
    // As a login session makes it: the ask-pass refuses a runtime folder others may open.
    QFile::setPermissions(environment.value(QStringLiteral("XDG_RUNTIME_DIR")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment TestEnvironment::processEnvironment() const
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home());
    environment.insert(QStringLiteral("VELLSSH_TEST_REAL_HOME"), home());
    environment.insert(QStringLiteral("VELLSSH_TEST_ETC_SSH"), etcSsh());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.path() + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path() + QStringLiteral("/run"));
    // Files a test makes under QDir::tempPath() go with the rest when the process ends.
    environment.insert(QStringLiteral("TMPDIR"), m_dir.path() + QStringLiteral("/tmp"));
    return environment;
}
