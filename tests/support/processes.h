#pragma once

#include <QList>

// The processes whose parent is the given one, as the kernel lists them.
QList<qint64> childProcesses(qint64 parent);
