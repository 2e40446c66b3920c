#include "navigationmodel.h"

#include <QSet>

void NavigationModel::setSelectedSidebarItem(const SidebarItem &item)
{
    if (sameItem(item, m_sidebarItem))
        return;
    m_sidebarItem = item;
    Q_EMIT selectedSidebarItemChanged(item);
}

void NavigationModel::setSelectedProfiles(const QList<Profile *> &profiles, bool scrollToSelection)
{
    m_scroll = scrollToSelection;
    if (profiles == m_profiles && !scrollToSelection)
        return;
    m_profiles = profiles;
    Q_EMIT selectedProfilesChanged(profiles);
}

void NavigationModel::forgetDeleted(const QList<ManagedObject *> &deleted)
{
    if (m_profiles.isEmpty() || deleted.isEmpty())
        return;
    const QSet<const ManagedObject *> gone(deleted.cbegin(), deleted.cend());
    QList<Profile *> kept = m_profiles;
    kept.removeIf([&](const Profile *profile) { return gone.contains(profile); });
    if (kept.size() != m_profiles.size())
        setSelectedProfiles(kept);
}
