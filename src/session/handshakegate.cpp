#include "handshakegate.h"

#include <QPointer>

HandshakeGate::Pass::~Pass()
{
    m_gate->leave(this);
}

std::unique_ptr<HandshakeGate::Pass> HandshakeGate::enter(const QString &server, QObject *context,
                                                          std::function<void()> admitted)
{
    auto pass = std::make_unique<Pass>(Pass::Key(), this, server);
    Server &entry = m_servers[server];
    if (entry.inside < perServer) {
        ++entry.inside;
        pass->m_admitted = true;
        admitted();
    } else {
        entry.queue.push_back({pass.get(), context, std::move(admitted)});
    }
    return pass;
}

void HandshakeGate::leave(Pass *pass)
{
    auto found = m_servers.find(pass->m_server);
    if (found == m_servers.end())
        return;
    Server &entry = *found;
    if (!pass->m_admitted) {
        entry.queue.remove_if([pass](const Waiting &w) { return w.pass == pass; });
        return;
    }
    --entry.inside;
    if (!entry.queue.empty()) {
        Waiting next = std::move(entry.queue.front());
        entry.queue.pop_front();
        ++entry.inside;
        next.pass->m_admitted = true;
        QMetaObject::invokeMethod(next.context, std::move(next.admitted), Qt::QueuedConnection);
    } else if (entry.inside == 0) {
        m_servers.erase(found);
    }
}
