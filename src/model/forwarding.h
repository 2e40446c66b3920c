#pragma once

#include "forwardingtype.h"
#include "managedobject.h"
#include "records.h"

#include <functional>

class Profile;

// A local forwarding (or one of unknown kind) bound to a socket path, or a remote one whose
// target is a socket path. Dynamic kinds never use a socket.
bool usesUnixSocket(const ForwardingData &data);

class Forwarding final : public ManagedObject
{
public:
    Forwarding(RecordKey key, ObjectContext *context)
        : ManagedObject(key, context, Entity::forwarding)
    {}

    const ForwardingData &data() const { return m_data; }
    const std::optional<QUuid> &uuid() const { return m_data.uuid; }
    qint16 type() const { return m_data.type; }
    ForwardingType kind() const { return forwardingTypeOrLocal(m_data.type); }
    bool enabled() const { return m_data.enabled; }
    const std::optional<QString> &bindAddress() const { return m_data.bindAddress; }
    qint32 bindPort() const { return m_data.bindPort; }
    const std::optional<QString> &targetAddress() const { return m_data.targetAddress; }
    qint32 targetPort() const { return m_data.targetPort; }
    const std::optional<QString> &note() const { return m_data.note; }
    qint16 priority() const { return m_data.priority; }
    Profile *profile() const { return m_profile; }

    void edit(const std::function<void(ForwardingData &)> &change);
    void setProfile(Profile *profile);

    bool usesUnixSocket() const { return ::usesUnixSocket(m_data); }

private:
    friend class RecordAccess;

    ForwardingData m_data;
    Profile *m_profile = nullptr;
};
