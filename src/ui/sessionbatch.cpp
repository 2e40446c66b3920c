#include "sessionbatch.h"

#include "profile.h"
#include "sessioncontainer.h"

#include <QElapsedTimer>

SessionBatch::SessionBatch(SessionContainer *container, QObject *parent)
    : QObject(parent), m_container(container)
{
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &SessionBatch::runSlice);
}

void SessionBatch::start(Action action, const QList<Profile *> &profiles)
{
    m_action = action;
    m_pending.clear();
    for (const Profile *profile : profiles) {
        if (profile->uuid())
            m_pending.append(*profile->uuid());
    }
    runSlice();
}

void SessionBatch::runSlice()
{
    QElapsedTimer slice;
    slice.start();
    qsizetype done = 0;
    while (done < m_pending.size() && slice.elapsed() < sliceMs) {
        const QUuid &uuid = m_pending.at(done++);
        if (m_action == Action::connect) {
            if (TunnelSession *session = m_container->session(uuid))
                session->connect();
        } else if (TunnelSession *session = m_container->existingSession(uuid)) {
            session->disconnect();
        }
    }
    m_pending.remove(0, done);
    if (!m_pending.isEmpty())
        m_next.start();
}
