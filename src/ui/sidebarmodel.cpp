#include "sidebarmodel.h"

#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "tag.h"
#include "textfolding.h"
#include "transferableprofile.h"
#include "undoableedit.h"

#include <QHash>
#include <QIcon>
#include <QMimeData>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool tagBefore(const Tag *a, const Tag *b)
{
    return compareNatural(a->name().value_or(QString()), b->name().value_or(QString())) < 0;
}

} // namespace

SidebarModel::SidebarModel(ObjectContext *context, QObject *parent)
    : QAbstractItemModel(parent), m_context(context), m_tags(context->tags())
{
    std::stable_sort(m_tags.begin(), m_tags.end(), tagBefore);
    connect(context, &ObjectContext::objectsDidChange, this, &SidebarModel::objectsChanged);
}

SidebarItem SidebarModel::itemAt(const QModelIndex &index) const
{
    const int row = index.row();
    if (!index.isValid() || row == 0)
        return SidebarItem::all();
    if (row <= m_tags.size())
        return SidebarItem::forTag(m_tags.at(row - fixedRowsBefore));
    return row == m_tags.size() + fixedRowsBefore ? SidebarItem::untagged() : SidebarItem::trash();
}

QModelIndex SidebarModel::indexOf(const SidebarItem &item) const
{
    switch (item.kind) {
    case SidebarItem::Kind::all:
        return index(0, 0);
    case SidebarItem::Kind::tag: {
        const qsizetype at = m_tags.indexOf(item.tag);
        return at < 0 ? QModelIndex() : index(int(at) + fixedRowsBefore, 0);
    }
    case SidebarItem::Kind::untagged:
        return index(int(m_tags.size()) + fixedRowsBefore, 0);
    case SidebarItem::Kind::recentDeleted:
        return index(int(m_tags.size()) + fixedRowsBefore + 1, 0);
    }
    return {};
}

Tag *SidebarModel::tagAt(const QModelIndex &index) const
{
    return itemAt(index).tag;
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= rowCount())
        return {};
    return createIndex(row, column);
}

QModelIndex SidebarModel::parent(const QModelIndex &) const
{
    return {};
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_tags.size()) + fixedRowsBefore + fixedRowsAfter;
}

int SidebarModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const SidebarItem item = itemAt(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
        switch (item.kind) {
        case SidebarItem::Kind::all:
            return localized("All");
        case SidebarItem::Kind::tag:
            return item.tag->name().value_or(QString());
        case SidebarItem::Kind::untagged:
            return localized("Untagged");
        case SidebarItem::Kind::recentDeleted:
            return localized("Recently Deleted");
        }
        break;
    case Qt::DecorationRole:
        switch (item.kind) {
        case SidebarItem::Kind::all:
            return QIcon::fromTheme(u"network-server"_s);
        case SidebarItem::Kind::tag:
            return QIcon::fromTheme(u"tag"_s);
        case SidebarItem::Kind::untagged:
            return QIcon::fromTheme(u"folder"_s);
        case SidebarItem::Kind::recentDeleted:
            return QIcon::fromTheme(u"user-trash"_s);
        }
        break;
    }
    return {};
}

bool SidebarModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    Tag *tag = tagAt(index);
    if (role != Qt::EditRole || !tag)
        return false;
    const QString name = value.toString().trimmed();
    if (tag->name() == name)
        return true;
    if (auto error = validateTagName(name, tag, *m_context)) {
        Q_EMIT tagNameRejected(*error);
        return false;
    }
    if (auto error =
            performUndoable(*m_context, localized("Rename Tag"), [&] { tag->setName(name); }))
        Q_EMIT editFailed(*error);
    return true;
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (tagAt(index))
        return flags | Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
    return flags;
}

QStringList SidebarModel::mimeTypes() const
{
    return {TransferableProfile::mimeType};
}

Qt::DropActions SidebarModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

bool SidebarModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                                   const QModelIndex &parent) const
{
    return action == Qt::CopyAction && row < 0 && tagAt(parent) &&
           data->hasFormat(TransferableProfile::mimeType);
}

bool SidebarModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    if (auto error = tagProfiles(tagAt(parent), transferables(*data)))
        Q_EMIT editFailed(*error);
    return true;
}

// Profiles dragged from this run's list are the ones to tag; any other (from another
// instance, say) comes in as an import that carries the tag.
Status SidebarModel::tagProfiles(Tag *tag, const QList<TransferableProfile> &profiles)
{
    QHash<QUuid, Profile *> live;
    for (Profile *profile : profilesIn(*m_context, SidebarItem::all()))
        live.insert(*profile->uuid(), profile);
    QList<Profile *> own;
    QList<TransferableProfile> foreign;
    for (const TransferableProfile &profile : profiles) {
        const bool fromHere = profile.json.value(u"transferId"_s).toString() == transferId();
        Profile *found =
            fromHere ? live.value(QUuid(profile.json.value(u"uuid"_s).toString())) : nullptr;
        if (found)
            own.append(found);
        else
            foreign.append(profile);
    }
    if (!own.isEmpty()) {
        const auto tagThem = [&] {
            for (Profile *profile : std::as_const(own))
                profile->addTag(tag);
        };
        if (auto error = performUndoable(*m_context, localized("Add Tag"), tagThem))
            return error;
    }
    return foreign.isEmpty() ? std::nullopt : importTransferables(foreign, *m_context, tag);
}

void SidebarModel::objectsChanged(const ObjectsDidChange &change)
{
    for (ManagedObject *object : change.deleted) {
        if (object->entity() == Entity::tag)
            removeTag(static_cast<Tag *>(object));
    }
    for (const auto *list : {&change.inserted, &change.updated, &change.refreshed}) {
        for (ManagedObject *object : *list) {
            if (object->entity() == Entity::tag && !object->isDeleted())
                placeTag(static_cast<Tag *>(object));
        }
    }
}

qsizetype SidebarModel::sortedPosition(const Tag *tag) const
{
    return std::upper_bound(m_tags.cbegin(), m_tags.cend(), tag, tagBefore) - m_tags.cbegin();
}

void SidebarModel::placeTag(Tag *tag)
{
    const qsizetype at = m_tags.indexOf(tag);
    if (at < 0) {
        const int row = int(sortedPosition(tag)) + fixedRowsBefore;
        beginInsertRows({}, row, row);
        m_tags.insert(row - fixedRowsBefore, tag);
        endInsertRows();
        return;
    }
    const bool inOrder = (at == 0 || !tagBefore(tag, m_tags.at(at - 1))) &&
                         (at + 1 == m_tags.size() || !tagBefore(m_tags.at(at + 1), tag));
    qsizetype to = at;
    if (!inOrder) {
        m_tags.removeAt(at);
        to = sortedPosition(tag);
        m_tags.insert(at, tag);
        const int from = int(at) + fixedRowsBefore;
        beginMoveRows({}, from, from, {}, int(to > at ? to + 1 : to) + fixedRowsBefore);
        m_tags.move(at, to);
        endMoveRows();
    }
    const QModelIndex changed = index(int(to) + fixedRowsBefore, 0);
    Q_EMIT dataChanged(changed, changed);
}

void SidebarModel::removeTag(Tag *tag)
{
    const qsizetype at = m_tags.indexOf(tag);
    if (at < 0)
        return;
    const int row = int(at) + fixedRowsBefore;
    beginRemoveRows({}, row, row);
    m_tags.removeAt(at);
    endRemoveRows();
}
