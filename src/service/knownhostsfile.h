#pragma once

#include "knownhostentry.h"

// The known_hosts file itself: read line by line (a missing file is an empty one; only a
// regular file of a sane size is read), and rewritten whole from the entries' lines,
// atomically.
Result<QList<KnownHostEntry>> readKnownHostsFile(const QString &path);
Status writeKnownHostsFile(const QString &path, const QList<KnownHostEntry> &entries);
