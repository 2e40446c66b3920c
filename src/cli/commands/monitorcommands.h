#pragma once

#include "commandhelp.h"
#include "daemoncommand.h"

#include <QHash>

// vellssh-cli status: the state of the profiles that have a session (of every one with --all),
// and with --watch every change after it; or the states of the profiles named, in their order.
class StatusCommand final : public DaemonCommand
{
public:
    using DaemonCommand::DaemonCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    int printStates(IoVellsshTunnelInterface &tunnel);
    void printJson(const QList<QVariantMap> &profiles);
    void printLine(const QString &name, const QString &state, const QString &summary);
    int watch(IoVellsshTunnelInterface &tunnel);

    QStringList m_references;
    bool m_all = false;
    bool m_json = false;
    bool m_watch = false;
    QHash<QString, QString> m_names;
};

// vellssh-cli log: the connection log of one profile, and with --follow every line after it.
class LogCommand final : public DaemonCommand
{
public:
    using DaemonCommand::DaemonCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    QString m_reference;
    bool m_follow = false;
};
