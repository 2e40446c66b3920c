#pragma once

#include <QByteArray>
#include <QList>

// The processes whose parent is the given one, as the kernel lists them.
QList<qint64> childProcesses(qint64 parent);
// The program name of a process (empty when it is gone).
QByteArray nameOf(qint64 pid);
// The descendants of a process that carry the name, children first.
QList<qint64> descendantsNamed(qint64 root, const QByteArray &name);
