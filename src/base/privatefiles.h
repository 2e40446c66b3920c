#pragma once

#include "regularfiles.h"
#include "result.h"

#include <QByteArray>
#include <QString>

// Files and folders that only this user may reach: files 0600, folders 0700 and owned by this
// user. Everything that holds profiles, settings or the ask-pass sockets goes through these,
// whatever the umask says.

// Makes the file when it is not there (its folder too) and narrows a wider mode. An existing
// file is never opened: closing a descriptor of a file drops every lock this process holds on
// it, and the store's other connections would lose theirs.
Status createPrivateFile(const QString &path);

// Replaces the file whole with `contents`, or leaves it as it was. A symbolic link is followed
// and the file it leads to is replaced, or made when the link leads nowhere; with Links::refuse
// the link itself is replaced, for files of this program's own that a planted link must not
// lead elsewhere. A path that is neither a file nor a link, such as a device, a FIFO or a
// folder, is refused, naming it. Otherwise the error is the system's reason, for the caller's
// own sentence.
Status writePrivateFile(const QString &path, const QByteArray &contents,
                        Links links = Links::follow);

// Appends whole `lines` on a line of their own: a last line that a crash or a full disk left
// without its end is ended first, so that the new ones are not glued to it, and a write that
// cannot be completed is taken back, so that no half line is left. A symbolic link or a file
// that is not a regular one is refused. The error is the system's reason.
Status appendPrivateFile(const QString &path, QByteArray lines);

// Refuses a folder that another user owns, that others may open, that is a symbolic link or
// that is no folder, naming it and the reason.
Status verifyPrivateFolder(const QString &path);

// Makes the folder 0700 when it is not there (its parent must be), narrows one of this user's
// that only this user can write to, then verifies it.
Status makePrivateFolder(const QString &path);
