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
