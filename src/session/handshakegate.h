#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <list>
#include <memory>

// Lets only a few clients at a time shake hands with one server. sshd drops handshakes beyond
// its MaxStartups (10 by default), and a burst of key exchanges on a small machine only makes
// every one of them slower; the rest wait their turn here, in the order they came. One gate
// serves all the sessions of an application, and outlives them.
class HandshakeGate
{
public:
    static constexpr int perServer = 8;

    HandshakeGate() = default;
    HandshakeGate(const HandshakeGate &) = delete;
    HandshakeGate &operator=(const HandshakeGate &) = delete;

    // A place in the gate: waiting, then admitted; either way given up when destroyed.
    class Pass
    {
        struct Key
        {
        };

    public:
        Pass(Key, HandshakeGate *gate, QString server) : m_gate(gate), m_server(std::move(server))
        {}
        ~Pass();
        Pass(const Pass &) = delete;
        Pass &operator=(const Pass &) = delete;

    private:
        friend class HandshakeGate;
        HandshakeGate *m_gate;
        QString m_server;
        bool m_admitted = false;
    };

    // Calls admitted, now or later on the context's thread, once the server has a free place.
    std::unique_ptr<Pass> enter(const QString &server, QObject *context,
                                std::function<void()> admitted);

private:
    struct Waiting
    {
        Pass *pass;
        QObject *context;
        std::function<void()> admitted;
    };
    struct Server
    {
        int inside = 0;
        std::list<Waiting> queue;
    };
    void leave(Pass *pass);

    QHash<QString, Server> m_servers;
};
