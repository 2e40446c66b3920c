#include "knownhostlistmodel.h"

#include "localized.h"

#include <QFont>
#include <QGuiApplication>
#include <QPalette>

using namespace Qt::StringLiterals;

KnownHostListModel::KnownHostListModel(QObject *parent) : QAbstractTableModel(parent) {}

void KnownHostListModel::setEntries(const QList<KnownHostEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

QString KnownHostListModel::statusText(KnownHostEntry::Status status)
{
    switch (status) {
    case KnownHostEntry::Status::invalid:
        return localized("Invalid");
    case KnownHostEntry::Status::ok:
        return localized("Valid");
    case KnownHostEntry::Status::comment:
        return localized("Comment");
    case KnownHostEntry::Status::matched:
        return localized("Matched");
    }
    Q_UNREACHABLE();
}

int KnownHostListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int KnownHostListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QVariant KnownHostListModel::display(const KnownHostEntry &entry, int column) const
{
    // A line without fields shows itself where the hosts would be.
    const bool hasFields = entry.hosts.has_value() || entry.rawkey.has_value();
    switch (column) {
    case hostsColumn:
        if (hasFields)
            return entry.hosts.value_or(QString());
        return entry.content.trimmed().isEmpty() ? localized("Blank line") : entry.content;
    case keyTypeColumn:
        return entry.rawkey.value_or(QString()).section(u' ', 0, 0);
    case markerColumn:
        return entry.marker.value_or(QString());
    case statusColumn:
        return statusText(entry.status);
    default:
        return {};
    }
}

QVariant KnownHostListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const KnownHostEntry &entry = m_entries[index.row()];
    const bool comment = entry.status == KnownHostEntry::Status::comment;
    switch (role) {
    case Qt::DisplayRole:
        return display(entry, index.column());
    case Qt::ToolTipRole:
        return entry.content;
    case Qt::ForegroundRole:
        if (comment)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::FontRole:
        if (comment || entry.status == KnownHostEntry::Status::invalid) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

QVariant KnownHostListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case hostsColumn:
        return localized("Hosts");
    case keyTypeColumn:
        return localized("Key Type");
    case markerColumn:
        return localized("Marker");
    case statusColumn:
        return localized("Status");
    default:
        return {};
    }
}
