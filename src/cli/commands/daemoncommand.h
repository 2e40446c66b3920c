#pragma once

#include "clicommand.h"

#include <QDBusServiceWatcher>
#include <QHash>

#include <functional>
#include <memory>

class IoVellsshTunnelInterface;

// A command that acts on a running VellSSH over D-Bus; one that the bus can start is started.
class DaemonCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    bool prepare() override;
    // The session state of each live profile by uuid, as a running VellSSH knows them; empty
    // when none runs.
    static QHash<QString, QString> runningStates();

protected:
    static std::unique_ptr<IoVellsshTunnelInterface> tunnel();
};

// Notices the application leaving the bus while a command waits for it.
class DaemonExit
{
public:
    DaemonExit(QTextStream &err, std::function<void()> stop);
    bool gone() const { return m_gone; }

private:
    QDBusServiceWatcher m_watcher;
    bool m_gone = false;
};
