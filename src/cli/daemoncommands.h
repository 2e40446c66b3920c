#pragma once

#include <QStringList>
#include <QTextStream>

// The commands that act on a running VellSSH over D-Bus: connect, disconnect, reconnect,
// status and log.
class DaemonCommands
{
public:
    DaemonCommands(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    static bool handles(const QString &verb);
    // The exit code: 0 done, 1 failed (or not running), 2 usage error.
    int run(const QString &verb, const QStringList &arguments);

private:
    int change(const QString &verb, const QStringList &arguments);
    int status(const QStringList &arguments);
    int log(const QStringList &arguments);

    QTextStream &m_out;
    QTextStream &m_err;
};
