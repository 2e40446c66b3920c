#pragma once

#include "tunnelsession.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QUuid>

#include <memory>
#include <vector>

class ObjectContext;
struct ObjectsDidChange;

// Owns the tunnel session of every profile that has one: finds or makes it, keeps its
// configuration in step with profile edits, drops it (ending its client) when the profile is
// trashed or deleted, and folds all states into one summary half a second after a change.
class SessionContainer : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        allDisconnected,
        atLeastOneConnected,
        atLeastOneConnecting
    };
    static constexpr int recomputeDelayMs = 500;

    SessionContainer(ObjectContext *context, TunnelSession::InvocationSource invocation,
                     QSet<QString> strictOptions, SecureSession::Services services,
                     QObject *parent = nullptr);
    ~SessionContainer() override;

    // The session of a live profile, made on first use; none for an unknown or trashed one.
    TunnelSession *session(const QUuid &uuid);
    TunnelSession *existingSession(const QUuid &uuid) const;
    QList<TunnelSession *> sessions() const;

    void connectAll(const QList<Profile *> &profiles);
    void disconnectAll(const QList<Profile *> &profiles);
    bool canConnectAny(const QList<Profile *> &profiles) const;
    bool canDisconnectAny(const QList<Profile *> &profiles) const;
    // The state for scripts: "Connected", "Abnormal Disconnect"..., empty without a session.
    QString textState(const Profile &profile) const;

    // After the client configuration file setting changed.
    void refreshAll();
    // What the machine says about its network; every session, present and future, follows it.
    void setNetworkAvailable(bool available);
    bool isNetworkAvailable() const { return m_networkAvailable; }
    // The machine woke from sleep: tunnels that dropped meanwhile come back at once.
    void machineResumed();
    State currentState() const { return m_currentState; }

Q_SIGNALS:
    void currentStateChanged(SessionContainer::State state);
    void sessionStateChanged(TunnelSession *session, SessionState state);
    void sessionsChanged();

private:
    void objectsChanged(const ObjectsDidChange &change);
    void remove(const QUuid &uuid);
    void recomputeState();

    ObjectContext *m_context;
    TunnelSession::InvocationSource m_invocation;
    QSet<QString> m_strictOptions;
    SecureSession::Services m_services;
    std::vector<std::unique_ptr<TunnelSession>> m_sessions;
    QHash<QUuid, TunnelSession *> m_byUuid;
    QTimer m_recompute;
    State m_currentState = State::allDisconnected;
    bool m_networkAvailable = true;
};
