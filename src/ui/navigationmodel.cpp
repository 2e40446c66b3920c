#include "navigationmodel.h"

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
