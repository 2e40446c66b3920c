#include "sessioncontainer.h"

#include "objectcontext.h"
#include "profile.h"

using namespace Qt::StringLiterals;

SessionContainer::SessionContainer(ObjectContext *context,
                                   TunnelSession::InvocationSource invocation,
                                   QSet<QString> strictOptions, SecureSession::Services services,
                                   QObject *parent)
    : QObject(parent), m_context(context), m_invocation(std::move(invocation)),
      m_strictOptions(std::move(strictOptions)), m_services(std::move(services))
{
    m_recompute.setSingleShot(true);
    m_recompute.setInterval(recomputeDelayMs);
    connect(&m_recompute, &QTimer::timeout, this, &SessionContainer::recomputeState);
    connect(context, &ObjectContext::objectsDidChange, this, &SessionContainer::objectsChanged);
}

SessionContainer::~SessionContainer() = default;

TunnelSession *SessionContainer::existingSession(const QUuid &uuid) const
{
    return m_byUuid.value(uuid);
}

QList<TunnelSession *> SessionContainer::sessions() const
{
    QList<TunnelSession *> result;
    for (const auto &session : m_sessions)
        result.append(session.get());
    return result;
}

TunnelSession *SessionContainer::session(const QUuid &uuid)
{
    if (TunnelSession *existing = existingSession(uuid))
        return existing;
    Profile *found = nullptr;
    for (Profile *profile : m_context->profiles()) {
        if (profile->uuid() == uuid && !profile->isInTrash()) {
            found = profile;
            break;
        }
    }
    if (!found)
        return nullptr;
    auto session =
        std::make_unique<TunnelSession>(found, m_invocation, m_strictOptions, m_services);
    TunnelSession *raw = session.get();
    raw->setNetworkAvailable(m_networkAvailable);
    connect(raw, &SecureSession::stateChanged, this, [this, raw](SecureSession *, SessionState s) {
        if (!m_recompute.isActive())
            m_recompute.start();
        Q_EMIT sessionStateChanged(raw, s);
    });
    m_byUuid.insert(uuid, raw);
    m_sessions.push_back(std::move(session));
    Q_EMIT sessionsChanged();
    return raw;
}

void SessionContainer::connectAll(const QList<Profile *> &profiles)
{
    for (Profile *profile : profiles) {
        if (!profile->uuid())
            continue;
        if (TunnelSession *s = session(*profile->uuid()))
            s->connect();
    }
}

void SessionContainer::disconnectAll(const QList<Profile *> &profiles)
{
    for (Profile *profile : profiles) {
        if (!profile->uuid())
            continue;
        if (TunnelSession *s = session(*profile->uuid()))
            s->disconnect();
    }
}

bool SessionContainer::canConnectAny(const QList<Profile *> &profiles) const
{
    return std::any_of(profiles.cbegin(), profiles.cend(), [this](const Profile *p) {
        const TunnelSession *s = p->uuid() ? existingSession(*p->uuid()) : nullptr;
        return !s || s->canConnect();
    });
}

bool SessionContainer::canDisconnectAny(const QList<Profile *> &profiles) const
{
    return std::any_of(profiles.cbegin(), profiles.cend(), [this](const Profile *p) {
        const TunnelSession *s = p->uuid() ? existingSession(*p->uuid()) : nullptr;
        return s && !s->canConnect();
    });
}

QString SessionContainer::textState(const Profile &profile) const
{
    const TunnelSession *s = profile.uuid() ? existingSession(*profile.uuid()) : nullptr;
    return s ? ::textState(s->lastState()) : QString();
}

void SessionContainer::refreshAll()
{
    for (const auto &session : m_sessions)
        session->refreshConfig();
}

void SessionContainer::setNetworkAvailable(bool available)
{
    m_networkAvailable = available;
    for (const auto &session : sessions())
        session->setNetworkAvailable(available);
}

void SessionContainer::machineResumed()
{
    for (const auto &session : sessions())
        session->resumeAfterOutage();
}

void SessionContainer::objectsChanged(const ObjectsDidChange &change)
{
    for (const auto *list : {&change.updated, &change.refreshed, &change.inserted}) {
        for (ManagedObject *object : *list) {
            if (object->entity() != Entity::profile)
                continue;
            auto *profile = static_cast<Profile *>(object);
            TunnelSession *s = profile->uuid() ? existingSession(*profile->uuid()) : nullptr;
            if (!s)
                continue;
            if (profile->isInTrash()) {
                remove(*profile->uuid());
            } else {
                s->setProfile(profile);
                s->refreshConfig();
            }
        }
    }
    for (ManagedObject *object : change.deleted) {
        if (object->entity() != Entity::profile)
            continue;
        // A deleted profile is found by its object: its uuid may be shared by a survivor.
        for (const auto &session : m_sessions) {
            if (session->profile() == object) {
                remove(session->config().uuid);
                break;
            }
        }
    }
}

void SessionContainer::remove(const QUuid &uuid)
{
    TunnelSession *s = m_byUuid.take(uuid);
    if (!s)
        return;
    // Releasing the session ends its client without a state change or a notice.
    auto it = std::find_if(m_sessions.begin(), m_sessions.end(),
                           [s](const auto &owned) { return owned.get() == s; });
    m_sessions.erase(it);
    Q_EMIT sessionsChanged();
    if (!m_recompute.isActive())
        m_recompute.start();
}

void SessionContainer::recomputeState()
{
    State state = State::allDisconnected;
    for (const auto &session : m_sessions) {
        if (isInProgress(session->lastState())) {
            state = State::atLeastOneConnecting;
            break;
        }
        if (session->lastState() == SessionState::connected)
            state = State::atLeastOneConnected;
    }
    if (state == m_currentState)
        return;
    m_currentState = state;
    Q_EMIT currentStateChanged(state);
}
