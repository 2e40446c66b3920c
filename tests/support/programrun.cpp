#include "programrun.h"

#include <QProcess>

#include <unistd.h>

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

ProgramRun runProgramAsSecondDevice(const QString &program, const QStringList &arguments,
                                    const QByteArray &input)
{
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", data + "/second");
    qputenv("XDG_CONFIG_HOME", config + "/second");
    const ProgramRun run = runProgram(program, arguments, input);
    qputenv("XDG_DATA_HOME", data);
    qputenv("XDG_CONFIG_HOME", config);
    return run;
}
