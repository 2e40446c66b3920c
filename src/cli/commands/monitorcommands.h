#pragma once

#include "daemoncommand.h"

#include <QHash>

// vellssh-cli status: the state of every profile, and with --watch every change after it.
class StatusCommand final : public DaemonCommand
{
public:
    using DaemonCommand::DaemonCommand;
    static QString usage();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    int watch(IoVellsshTunnelInterface &tunnel);

    bool m_watch = false;
    QHash<QString, QString> m_names;
};

// vellssh-cli log: the connection log of one profile, and with --follow every line after it.
class LogCommand final : public DaemonCommand
{
public:
    using DaemonCommand::DaemonCommand;
    static QString usage();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    QString m_reference;
    bool m_follow = false;
};
