#include "forwarding.h"

#include "objectcontext.h"
#include "profile.h"
#include "recordaccess.h"

using namespace Qt::StringLiterals;

namespace {

bool isSocketPath(const std::optional<QString> &address)
{
    return address && (address->startsWith(u'/') || address->startsWith(u"~/"_s));
}

} // namespace

bool usesUnixSocket(const ForwardingData &data)
{
    switch (data.type) {
    case qint16(ForwardingType::remote):
        return isSocketPath(data.targetAddress);
    case qint16(ForwardingType::dynamic):
    case qint16(ForwardingType::reverseDynamic):
        return false;
    default:
        return isSocketPath(data.bindAddress);
    }
}

void Forwarding::edit(const std::function<void(ForwardingData &)> &change)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    change(m_data);
    owner->didChange(this);
}

void Forwarding::setProfile(Profile *profile)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    Profile *previous = m_profile;
    RecordAccess::linkProfile(this, profile);
    owner->didChange(this);
    if (previous)
        owner->didChange(previous);
    if (profile)
        owner->didChange(profile);
}
