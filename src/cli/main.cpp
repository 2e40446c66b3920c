#include "cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vellssh-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("VellSSH"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    Cli cli(out, err, in);
    const int code = cli.run(QCoreApplication::arguments().mid(1));
    out.flush();
    err.flush();
    return code;
}
