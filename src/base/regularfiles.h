#pragma once

#include "result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>

// Reading files that someone else may have put there (another device's journal, a file to
// import): only a regular file is opened for reading, and opening it never waits, so that a
// FIFO, a device or a socket can neither block nor feed a reader without end. The errors are
// the reason alone, for the caller's own sentence.

enum class Links
{
    follow,
    // A symbolic link is refused, not followed: a link planted in a shared folder could lead
    // to any file of this user, the store among them.
    refuse
};

// A descriptor of the file opened with `flags`, never waiting and not through a link when links
// are refused, when it is a regular file; a file that O_CREAT makes is 0600. `info` gets its
// status. The caller closes the descriptor.
Result<int> openRegularDescriptor(const QString &path, int flags, Links links, struct stat &info);

// Opens the file read-only on `file`, which owns the descriptor from then on.
Status openRegularFile(QFile &file, const QString &path, Links links);

// The whole file, when it is a regular file of at most `maxBytes`.
Result<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, Links links);
