#include "cli.h"
#include "localized.h"
#include "result.h"

#include <QCoreApplication>
#include <QFileDevice>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A full disk or a closed file must not pass for a finished command: a script that saves the
// output would go on with a part of it.
int finishOutput(QTextStream &out, QTextStream &err, int code)
{
    out.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const QString reason = systemReason();
    if (flushed && !std::ferror(stdout) && out.status() == QTextStream::Ok)
        return code;
    const auto *device = qobject_cast<QFileDevice *>(out.device());
    err << localized("vellssh-cli: cannot write the output: %1")
               .arg(device && device->error() != QFileDevice::NoError ? device->errorString()
                                                                      : reason)
        << Qt::endl;
    return CliEnvironment::failure;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellssh-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("VellSSH"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    Cli cli(out, err, in);
    const int code = finishOutput(out, err, cli.run(QCoreApplication::arguments().mid(1)));
    err.flush();
    return code;
}
