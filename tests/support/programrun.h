#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One finished run of a program: its exit code (-1 when it crashed or hung) and its output.
struct ProgramRun
{
    int code = -1;
    QString out;
    QString err;
};

// Runs the program with the input on its standard input and without a controlling terminal,
// so that anything it would ask a person comes from that input.
ProgramRun runProgram(const QString &program, const QStringList &arguments,
                      const QByteArray &input = {});

// The same run as another machine would make it: the data and configuration folders are
// "second" folders inside this process's own.
ProgramRun runProgramAsSecondDevice(const QString &program, const QStringList &arguments,
                                    const QByteArray &input = {});
