#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Log messages as plain lines on standard error, one write each so that lines of two threads
// never interleave. When standard error is the journal's stream (a systemd unit's), every line
// starts with its syslog priority, "<4>", which the journal keeps as the entry's priority.
namespace StandardErrorLog {

void install();

// Whether standard error is the stream that the service manager announced in JOURNAL_STREAM.
bool isJournal();

// The lines of one formatted message, each ended by a newline.
QByteArray lines(QtMsgType type, const QString &formatted, bool journal);

} // namespace StandardErrorLog
