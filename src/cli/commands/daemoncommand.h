#pragma once

#include "clicommand.h"

#include <QDBusServiceWatcher>

#include <functional>
#include <memory>

class IoVellsshTunnelInterface;

// A command that acts on a running VellSSH over D-Bus. Its usage errors are told in one line.
class DaemonCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    bool prepare() override;
    int refuse(const Error &usage) override;

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
