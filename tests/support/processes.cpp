#include "processes.h"

#include <QFile>

QList<qint64> childProcesses(qint64 parent)
{
    QList<qint64> result;
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(parent));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &word : file.readAll().split(' ')) {
            if (const qint64 pid = word.trimmed().toLongLong())
                result.append(pid);
        }
    }
    return result;
}

QByteArray nameOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

QList<qint64> descendantsNamed(qint64 root, const QByteArray &name)
{
    QList<qint64> found;
    QList<qint64> pending = childProcesses(root);
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeFirst();
        if (nameOf(pid) == name)
            found.append(pid);
        pending.append(childProcesses(pid));
    }
    return found;
}
