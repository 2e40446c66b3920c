#include "tunnelmenu.h"

#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "queries.h"
#include "sessionbatch.h"
#include "sessioncontainer.h"
#include "stateicons.h"
#include "tag.h"
#include "textfolding.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString menuText(const QString &text)
{
    return QString(text).replace(u'&', u"&&"_s);
}

bool touchesLayout(const QList<ManagedObject *> &objects)
{
    return std::any_of(objects.cbegin(), objects.cend(), [](const ManagedObject *object) {
        return object->entity() != Entity::forwarding;
    });
}

} // namespace

TunnelMenu::TunnelMenu(ObjectContext *context, SessionContainer *container, QObject *parent)
    : QObject(parent), m_context(context), m_container(container),
      m_batch(new SessionBatch(container, this)), m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(u"tunnelMenu"_s);
    openMainWindow = new QAction(localized("Open Main Window"), this);
    settings = new QAction(localized("Settings"), this);
    help = new QAction(localized("Help"), this);
    quit = new QAction(localized("Quit"), this);
    openMainWindow->setObjectName(u"openMainWindow"_s);
    settings->setObjectName(u"settings"_s);
    help->setObjectName(u"help"_s);
    quit->setObjectName(u"quit"_s);

    // Store changes come in bursts (a merge, an import); one layout pass follows each burst.
    m_rebuild.setSingleShot(true);
    m_rebuild.setInterval(0);
    connect(&m_rebuild, &QTimer::timeout, this, &TunnelMenu::rebuild);
    m_bulkUpdate.setSingleShot(true);
    m_bulkUpdate.setInterval(0);
    connect(&m_bulkUpdate, &QTimer::timeout, this, &TunnelMenu::updateBulkEntries);
    connect(context, &ObjectContext::objectsDidChange, this, &TunnelMenu::objectsChanged);
    connect(container, &SessionContainer::sessionStateChanged, this, &TunnelMenu::stateChanged);
    connect(container, &SessionContainer::sessionsChanged, &m_bulkUpdate,
            qOverload<>(&QTimer::start));
    rebuild();
}

TunnelMenu::~TunnelMenu() = default;

void TunnelMenu::objectsChanged(const ObjectsDidChange &change)
{
    if (touchesLayout(change.inserted) || touchesLayout(change.updated) ||
        touchesLayout(change.refreshed) || touchesLayout(change.deleted))
        m_rebuild.start();
}

// Live profiles in the list's order, grouped under their tags in name order.
QList<TunnelMenu::Section> TunnelMenu::layout() const
{
    QHash<const Tag *, QList<Entry>> byTag;
    QList<Entry> untagged;
    for (const Profile *profile : validProfiles(*m_context)) {
        if (profile->isInTrash())
            continue;
        const Entry entry{*profile->uuid(), profile->name().value_or(QString())};
        if (profile->tags().isEmpty())
            untagged.append(entry);
        for (const Tag *tag : profile->tags())
            byTag[tag].append(entry);
    }
    QList<const Tag *> tags = byTag.keys();
    std::sort(tags.begin(), tags.end(), [](const Tag *a, const Tag *b) {
        return compareNatural(a->name().value_or(QString()), b->name().value_or(QString())) < 0;
    });
    QList<Section> sections;
    for (const Tag *tag : tags)
        sections.append({tag->name().value_or(QString()), tag->uuid(), byTag.value(tag)});
    if (!untagged.isEmpty())
        sections.append({localized("Untagged"), std::nullopt, untagged});
    return sections;
}

void TunnelMenu::rebuild()
{
    QList<Section> sections = layout();
    if (sections == m_layout && !m_menu->isEmpty())
        return;
    m_layout = std::move(sections);
    m_entries.clear();
    m_bulk.clear();
    m_menu->clear();
    qDeleteAll(std::exchange(m_submenus, {}));
    for (const Section &section : std::as_const(m_layout))
        addSection(section);
    addHeader(localized("Tunnels"));
    addBulkEntries(m_menu.get(), localized("Connect All Tunnels"),
                   localized("Disconnect All Tunnels"), std::nullopt);
    addFixedEntries();
    updateBulkEntries();
}

void TunnelMenu::addHeader(const QString &title)
{
    if (!m_menu->isEmpty())
        m_menu->addSeparator();
    QAction *header = m_menu->addAction(menuText(title));
    header->setEnabled(false);
    QFont font = header->font();
    font.setBold(true);
    header->setFont(font);
}

void TunnelMenu::addSection(const Section &section)
{
    addHeader(section.title);
    QMenu *target = m_menu.get();
    if (section.entries.size() > inlineProfileLimit) {
        target = m_menu->addMenu(localized("%1 Tunnels").arg(section.entries.size()));
        m_submenus.append(target);
    }
    addProfileEntries(target, section.entries);
    if (!section.tag)
        return;
    if (target != m_menu.get())
        target->addSeparator();
    addBulkEntries(target, localized("Connect All"), localized("Disconnect All"), section.tag);
}

void TunnelMenu::addProfileEntries(QMenu *menu, const QList<Entry> &entries)
{
    for (const Entry &entry : entries) {
        QAction *action = menu->addAction(QString());
        action->setCheckable(true);
        const TunnelSession *session = m_container->existingSession(entry.uuid);
        showState(action, entry.name, session ? session->lastState() : SessionState::notConnected);
        m_entries.insert(entry.uuid, {action, entry.name});
        const QUuid uuid = entry.uuid;
        connect(action, &QAction::triggered, this, [this, uuid] { toggle(uuid); });
    }
}

void TunnelMenu::addBulkEntries(QMenu *menu, const QString &connectText,
                                const QString &disconnectText, const std::optional<QUuid> &tag)
{
    BulkEntries bulk{menu->addAction(connectText), menu->addAction(disconnectText), tag};
    using Action = SessionBatch::Action;
    connect(bulk.connectAll, &QAction::triggered, this,
            [this, tag] { m_batch->start(Action::connect, liveProfiles(tag)); });
    connect(bulk.disconnectAll, &QAction::triggered, this,
            [this, tag] { m_batch->start(Action::disconnect, liveProfiles(tag)); });
    m_bulk.append(bulk);
}

void TunnelMenu::addFixedEntries()
{
    m_menu->addSeparator();
    m_menu->addActions({openMainWindow, settings, help});
    m_menu->addSeparator();
    m_menu->addAction(quit);
}

// Idle profiles read as their name alone; any other state follows it.
void TunnelMenu::showState(QAction *action, const QString &name, SessionState state) const
{
    const bool quiet = state == SessionState::notConnected || state == SessionState::disconnected;
    action->setText(quiet ? menuText(name)
                          : localized("%1 — %2").arg(menuText(name), displayTitle(state)));
    action->setChecked(state == SessionState::connected);
    action->setIcon(stateIcon(state, false));
}

void TunnelMenu::stateChanged(TunnelSession *session, SessionState state)
{
    const QUuid uuid = session->config().uuid;
    for (auto it = m_entries.constFind(uuid); it != m_entries.cend() && it.key() == uuid; ++it)
        showState(it->first, it->second, state);
    m_bulkUpdate.start();
}

// Connects an idle profile; any other is on its way or connected, and is disconnected.
void TunnelMenu::toggle(const QUuid &uuid)
{
    TunnelSession *session = m_container->session(uuid);
    if (!session)
        return;
    if (session->canConnect())
        session->connect();
    else
        session->disconnect();
    stateChanged(session, session->lastState());
}

// One pass over the profiles for all sections, since this follows every burst of state changes.
void TunnelMenu::updateBulkEntries()
{
    const QList<Profile *> live = liveProfiles(std::nullopt);
    QHash<QUuid, QList<Profile *>> byTag;
    for (Profile *profile : live) {
        for (const Tag *tag : profile->tags()) {
            if (tag->uuid())
                byTag[*tag->uuid()].append(profile);
        }
    }
    for (const BulkEntries &bulk : std::as_const(m_bulk)) {
        const QList<Profile *> &profiles = bulk.tag ? byTag[*bulk.tag] : live;
        bulk.connectAll->setEnabled(m_container->canConnectAny(profiles));
        bulk.disconnectAll->setEnabled(m_container->canDisconnectAny(profiles));
    }
}

QList<Profile *> TunnelMenu::liveProfiles(const std::optional<QUuid> &tag) const
{
    QList<Profile *> profiles = validProfiles(*m_context, false);
    profiles.removeIf([&](const Profile *profile) {
        if (profile->isInTrash())
            return true;
        return tag && std::none_of(profile->tags().cbegin(), profile->tags().cend(),
                                   [&](const Tag *t) { return t->uuid() == tag; });
    });
    return profiles;
}
