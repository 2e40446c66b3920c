#include "identitylistmodel.h"

#include "identitykeymanager.h"
#include "localized.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

IdentityListModel::IdentityListModel(IdentityKeyManager &manager, QObject *parent)
    : QAbstractTableModel(parent), m_manager(manager), m_paths(manager.identities())
{
    connect(&m_manager, &IdentityKeyManager::identitiesChanged, this, &IdentityListModel::reload);
}

void IdentityListModel::reload()
{
    beginResetModel();
    m_paths = m_manager.identities();
    endResetModel();
}

QString IdentityListModel::kind(const QString &path) const
{
    if (m_manager.certificates().contains(path))
        return localized("Certificate");
    if (m_manager.privateKeys().contains(path))
        return localized("Private key");
    if (path.endsWith(u".pub"_s))
        return localized("Public key");
    return localized("Other file");
}

int IdentityListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_paths.size());
}

int IdentityListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QVariant IdentityListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString &path = m_paths[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == nameColumn ? QFileInfo(path).fileName() : kind(path);
    case Qt::ToolTipRole:
        return path;
    case pathRole:
        return path;
    default:
        return {};
    }
}

QVariant IdentityListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case nameColumn:
        return localized("Name");
    case kindColumn:
        return localized("Kind");
    default:
        return {};
    }
}
