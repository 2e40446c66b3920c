#pragma once

#include "commandhelp.h"
#include "daemoncommand.h"

#include <QDBusPendingReply>
#include <QEventLoop>
#include <QHash>
#include <QSet>

// vellssh-cli connect and disconnect: asks the application to change the state of the profiles
// selected, then waits until each one has settled (answering the questions the attempts ask on
// the way) and tells how each one ended.
class ConnectCommand : public DaemonCommand
{
public:
    ConnectCommand(CliEnvironment &env, const QString &verb) : DaemonCommand(env), m_verb(verb) {}
    // The help of connect or disconnect.
    static CommandHelp help(const QString &verb);

    Status parse(const QStringList &arguments) override;
    int run() override;

protected:
    // Whether the profile has reached a state that ends the wait.
    virtual bool settled(const QString &uuid);

    QString m_verb;
    QStringList m_references;
    QHash<QString, QString> m_states;

private:
    bool tagExists();
    bool connecting() const;
    QDBusPendingReply<QStringList> request(IoVellsshTunnelInterface &tunnel) const;
    QHash<QString, QString> learnStates(IoVellsshTunnelInterface &tunnel, const QStringList &uuids);
    bool waitUntilSettled(const QStringList &uuids);
    int report(const QStringList &uuids, const QHash<QString, QString> &names);

    QString m_tag;
    bool m_all = false;
    bool m_pinned = false;
    bool m_noWait = false;
    QHash<QString, QString> m_summaries;
    QEventLoop m_loop;
};

// vellssh-cli reconnect: like connect, for named profiles; a profile that passes through a
// settled state on its way down has not settled until it has started again.
class ReconnectCommand final : public ConnectCommand
{
public:
    explicit ReconnectCommand(CliEnvironment &env)
        : ConnectCommand(env, QStringLiteral("reconnect"))
    {}
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;

protected:
    bool settled(const QString &uuid) override;

private:
    QSet<QString> m_started;
};
