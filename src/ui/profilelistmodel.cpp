#include "profilelistmodel.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "sessioncontainer.h"
#include "stateicons.h"
#include "tag.h"
#include "textfolding.h"
#include "transferableprofile.h"

#include <QMimeData>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The default order: pinned first, then by name, numeric-aware.
bool comesBefore(const Profile *a, const Profile *b)
{
    if (a->priority() != b->priority())
        return a->priority() > b->priority();
    return compareNatural(a->name().value_or(QString()), b->name().value_or(QString())) < 0;
}

// Where the profile belongs in the list, as an index into the list as it stands: the profiles
// to skip (itself, and others of the same change that have not found their place yet) are
// passed over, since only the others are known to be in order.
qsizetype targetRow(const QList<Profile *> &list, const Profile *profile,
                    const QSet<const Profile *> &skip)
{
    qsizetype low = 0;
    qsizetype high = list.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        qsizetype probe = middle;
        while (probe < high && skip.contains(list.at(probe)))
            ++probe;
        if (probe == high || comesBefore(profile, list.at(probe)))
            high = middle;
        else
            low = probe + 1;
    }
    return low;
}

} // namespace

QString serverText(const Profile &profile)
{
    QString text;
    if (const QString user = profile.user().value_or(QString()); !user.isEmpty())
        text = user + u'@';
    const QString address = profile.address().value_or(QString());
    text += address.contains(u':') && !address.startsWith(u'[') ? u'[' + address + u']' : address;
    if (profile.port() > 0)
        text += u':' + QString::number(profile.port());
    return text;
}

QString forwardingSummary(const Profile &profile)
{
    QStringList parts;
    for (const ForwardingData &forwarding : enabledForwardings(profile)) {
        const QStringList arguments = forwardingArguments(forwarding);
        parts.append(arguments.value(0).mid(1) + u' ' + arguments.value(1));
    }
    return parts.join(u", "_s);
}

ProfileListModel::ProfileListModel(ObjectContext *context, SessionContainer *container,
                                   InvocationSource invocation, QObject *parent)
    : QAbstractItemModel(parent), m_context(context), m_container(container),
      m_invocation(std::move(invocation)), m_search(context), m_ordered(validProfiles(*context))
{
    // The search forgets the texts of changed profiles first: it was connected first.
    connect(context, &ObjectContext::objectsDidChange, this, &ProfileListModel::objectsChanged);
    connect(container, &SessionContainer::sessionStateChanged, this,
            [this](TunnelSession *session, SessionState) { sessionStateChanged(session); });
    m_rows = matchingProfiles();
}

void ProfileListModel::setSidebarItem(const SidebarItem &item)
{
    if (item.kind == m_item.kind && item.tag == m_item.tag)
        return;
    m_item = item;
    reload();
}

void ProfileListModel::setSearchText(const QString &text)
{
    m_searchText = text;
    const QStringList terms = ProfileSearch::terms(text);
    if (terms == m_terms)
        return;
    m_terms = terms;
    reload();
}

Profile *ProfileListModel::profileAt(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? m_rows.value(index.row()) : nullptr;
}

QModelIndex ProfileListModel::indexOf(const Profile *profile, int column) const
{
    const int row = rowOf(profile);
    return row < 0 ? QModelIndex() : index(row, column);
}

SessionState ProfileListModel::stateOf(const Profile *profile) const
{
    const TunnelSession *session =
        profile->uuid() ? m_container->existingSession(*profile->uuid()) : nullptr;
    return session ? session->lastState() : SessionState::notConnected;
}

QString ProfileListModel::statusText(const Profile *profile) const
{
    const TunnelSession *session =
        profile->uuid() ? m_container->existingSession(*profile->uuid()) : nullptr;
    return session ? session->statusSummary() : description(SessionState::notConnected);
}

QModelIndex ProfileListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= m_rows.size() || column < 0 || column >= columnTotal)
        return {};
    return createIndex(row, column);
}

QModelIndex ProfileListModel::parent(const QModelIndex &) const
{
    return {};
}

int ProfileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ProfileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant ProfileListModel::data(const QModelIndex &index, int role) const
{
    const Profile *profile = profileAt(index);
    if (!profile)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case nameColumn:
            return profile->displayName();
        case serverColumn:
            return serverText(*profile);
        case forwardingsColumn:
            return forwardingSummary(*profile);
        case statusColumn:
            return statusText(profile);
        }
        break;
    case Qt::DecorationRole:
        if (column == nameColumn)
            return stateIcon(stateOf(profile), profile->pinned());
        break;
    case Qt::ToolTipRole:
        return statusText(profile);
    case Qt::AccessibleTextRole:
        if (column == nameColumn)
            return profile->displayName() + u", "_s + statusText(profile);
        return data(index, Qt::DisplayRole);
    }
    return {};
}

QVariant ProfileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case nameColumn:
        return localized("Name");
    case serverColumn:
        return localized("Server");
    case forwardingsColumn:
        return localized("Forwardings");
    case statusColumn:
        return localized("Status");
    }
    return {};
}

Qt::ItemFlags ProfileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QStringList ProfileListModel::mimeTypes() const
{
    return {TransferableProfile::mimeType, u"text/plain"_s};
}

QMimeData *ProfileListModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (profileAt(index))
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return nullptr;
    const InvocationInputs inputs = m_invocation();
    QList<TransferableProfile> profiles;
    for (int row : std::as_const(rows))
        profiles.append(TransferableProfile::from(*m_rows.at(row), inputs));
    return ::mimeData(profiles).release();
}

Qt::DropActions ProfileListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

void ProfileListModel::objectsChanged(const ObjectsDidChange &change)
{
    QList<Profile *> touched;
    QSet<Profile *> seen;
    const auto touch = [&](Profile *profile) {
        if (profile && !seen.contains(profile)) {
            seen.insert(profile);
            touched.append(profile);
        }
    };
    for (const auto *list : {&change.inserted, &change.updated, &change.refreshed}) {
        for (ManagedObject *object : *list) {
            switch (object->entity()) {
            case Entity::profile:
                touch(static_cast<Profile *>(object));
                break;
            case Entity::forwarding:
                touch(static_cast<Forwarding *>(object)->profile());
                break;
            case Entity::tag:
                // A tag's name is searched; who carries it is told by the profiles' changes.
                if (!m_terms.isEmpty()) {
                    for (Profile *profile : static_cast<Tag *>(object)->profiles())
                        touch(profile);
                }
                break;
            }
        }
    }
    if (touched.size() + change.deleted.size() > incrementalLimit) {
        m_ordered = validProfiles(*m_context);
        reload();
        return;
    }
    for (ManagedObject *object : change.deleted) {
        if (object->entity() == Entity::profile)
            touched.append(static_cast<Profile *>(object));
    }
    reorder(touched);
    place(touched);
}

void ProfileListModel::reorder(const QList<Profile *> &touched)
{
    const auto listed = [](const Profile *p) { return !p->isDeleted() && isValidProfile(p); };
    QSet<const Profile *> pending;
    for (Profile *profile : touched) {
        if (!listed(profile))
            m_ordered.removeOne(profile);
        else if (m_ordered.contains(profile))
            pending.insert(profile);
    }
    for (Profile *profile : touched) {
        if (!listed(profile))
            continue;
        const qsizetype at = m_ordered.indexOf(profile);
        const qsizetype to = targetRow(m_ordered, profile, pending);
        if (at < 0)
            m_ordered.insert(to, profile);
        else if (to != at && to != at + 1)
            m_ordered.move(at, to > at ? to - 1 : to);
        pending.remove(profile);
    }
}

void ProfileListModel::sessionStateChanged(TunnelSession *session)
{
    if (!m_rowOfValid) {
        m_rowOf.clear();
        m_rowOf.reserve(m_rows.size());
        for (int row = 0; row < m_rows.size(); ++row)
            m_rowOf.insert(m_rows.at(row), row);
        m_rowOfValid = true;
    }
    if (const int row = rowOf(session->profile()); row >= 0)
        emitRowChanged(row);
}

void ProfileListModel::reload()
{
    beginResetModel();
    m_rows = matchingProfiles();
    m_rowOfValid = false;
    endResetModel();
}

QList<Profile *> ProfileListModel::matchingProfiles()
{
    QList<Profile *> shown;
    for (Profile *profile : std::as_const(m_ordered)) {
        if (matchesSidebar(profile, m_item))
            shown.append(profile);
    }
    return m_search.filter(shown, m_searchText);
}

bool ProfileListModel::belongs(Profile *profile)
{
    if (profile->isDeleted() || !isValidProfile(profile) || !matchesSidebar(profile, m_item))
        return false;
    return m_terms.isEmpty() || !m_search.filter({profile}, m_searchText).isEmpty();
}

void ProfileListModel::place(const QList<Profile *> &touched)
{
    QList<Profile *> shown;
    QSet<const Profile *> pending;
    for (Profile *profile : touched) {
        const int row = rowOf(profile);
        if (!belongs(profile)) {
            if (row >= 0)
                removeRow(row);
            continue;
        }
        shown.append(profile);
        if (row >= 0)
            pending.insert(profile);
    }
    for (Profile *profile : std::as_const(shown)) {
        const int row = rowOf(profile);
        const int to = int(targetRow(m_rows, profile, pending));
        pending.remove(profile);
        if (row < 0) {
            beginInsertRows({}, to, to);
            m_rows.insert(to, profile);
            m_rowOfValid = false;
            endInsertRows();
        } else if (to == row || to == row + 1) {
            emitRowChanged(row);
        } else {
            beginMoveRows({}, row, row, {}, to);
            m_rows.move(row, to > row ? to - 1 : to);
            m_rowOfValid = false;
            endMoveRows();
            emitRowChanged(to > row ? to - 1 : to);
        }
    }
}

void ProfileListModel::removeRow(int row)
{
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    m_rowOfValid = false;
    endRemoveRows();
}

int ProfileListModel::rowOf(const Profile *profile) const
{
    // Between structural changes the table answers; right after one, a scan costs less than
    // building the table again for every row that moves.
    if (m_rowOfValid)
        return m_rowOf.value(profile, -1);
    return int(m_rows.indexOf(profile));
}

void ProfileListModel::emitRowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, columnTotal - 1));
}
