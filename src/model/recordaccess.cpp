#include "recordaccess.h"

void RecordAccess::linkProfile(Forwarding *forwarding, Profile *profile)
{
    if (forwarding->m_profile == profile)
        return;
    if (forwarding->m_profile)
        forwarding->m_profile->m_forwardings.removeOne(forwarding);
    forwarding->m_profile = profile;
    if (profile)
        profile->m_forwardings.append(forwarding);
}

void RecordAccess::linkTags(Profile *profile, const QList<Tag *> &tags)
{
    for (Tag *tag : std::as_const(profile->m_tags)) {
        if (!tags.contains(tag))
            tag->m_profiles.removeOne(profile);
    }
    for (Tag *tag : tags) {
        if (!profile->m_tags.contains(tag))
            tag->m_profiles.append(profile);
    }
    profile->m_tags.clear();
    for (Tag *tag : tags) {
        if (!profile->m_tags.contains(tag))
            profile->m_tags.append(tag);
    }
}

void RecordAccess::linkParent(Tag *tag, Tag *parent)
{
    if (tag->m_parent == parent)
        return;
    if (tag->m_parent)
        tag->m_parent->m_children.removeOne(tag);
    tag->m_parent = parent;
    if (parent)
        parent->m_children.append(tag);
}
