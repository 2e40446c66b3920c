#pragma once

#include "linesplitter.h"
#include "reportmessages.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The level of one line: debug lines by their prefix; unprefixed lines are informational when
// they are one of the client's known progress messages, fatal when they name the strict host-key
// check that stops the run (so that the reason, not the bare "Host key verification failed.",
// becomes the session's summary), and errors otherwise, so that a normal end never leaves
// "Transferred: ..." as a session's last error.
OpenSSHLevel levelOfLine(const QString &line);

// Follows one client run's log (at debug1 or more) and turns it into reports. Jump hosts run as
// child clients on the same log: their lines are told apart by counting proxy commands, the
// banners of the clients they start and established sessions, so that only the target
// connection's details are reported and a jump client's lines carry "[host] ". A run that hands
// its work to a master connection is a mux client from its first request on, and its lines carry
// "[mux] ".
class ClientLogParser
{
public:
    // Takes bytes as they arrive; complete lines (CR LF or LF) are parsed, the rest is kept (a
    // line past the splitter's limit is cut there).
    QList<ClientReportItem> feed(const QByteArray &bytes);
    // The last incomplete line, when the client has gone.
    QList<ClientReportItem> finish();
    QList<ClientReportItem> parseLine(const QString &line);

private:
    // Jump clients are the ones that have spoken: a proxy command that is not a client writes no
    // banner and no session of its own.
    bool atTarget() const { return m_sessions >= m_jumpBanners; }
    // Who wrote the line: the target's client (empty), a jump client or a mux client.
    QString speakerPrefix() const;
    void followSpeaker(const QString &text);

    LineSplitter m_lines;
    // The host of every proxy command, in the order they were started; each is nested in the
    // one before it.
    QStringList m_jumpHosts;
    qsizetype m_jumpBanners = 0;
    qsizetype m_sessions = 0;
    bool m_muxClient = false;
    bool m_targetAuthenticating = false;
    bool m_authenticatingReported = false;
    bool m_multiplexingReported = false;
    bool m_connected = false;
};
