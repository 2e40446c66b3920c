#pragma once

#include "profile.h"
#include "queries.h"

#include <QList>
#include <QObject>

// What the main window shows: the sidebar item and the profiles selected in the list. The
// views write it as the user moves; whoever selects from outside (a clicked notification)
// writes it with scrollToSelection, and the list then brings the selection into view.
class NavigationModel : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const SidebarItem &selectedSidebarItem() const { return m_sidebarItem; }
    void setSelectedSidebarItem(const SidebarItem &item);
    const QList<Profile *> &selectedProfiles() const { return m_profiles; }
    void setSelectedProfiles(const QList<Profile *> &profiles, bool scrollToSelection = false);
    // Profiles deleted for good leave the selection at once: their records are freed soon after.
    void forgetDeleted(const QList<ManagedObject *> &deleted);
    bool shouldScrollToSelection() const { return m_scroll; }
    void clearScrollRequest() { m_scroll = false; }

    static bool sameItem(const SidebarItem &a, const SidebarItem &b)
    {
        return a.kind == b.kind && a.tag == b.tag;
    }

Q_SIGNALS:
    void selectedSidebarItemChanged(const SidebarItem &item);
    void selectedProfilesChanged(const QList<Profile *> &profiles);

private:
    SidebarItem m_sidebarItem = SidebarItem::all();
    QList<Profile *> m_profiles;
    bool m_scroll = false;
};
