#include "environmentvariablesmodel.h"

#include "localized.h"
#include "settings.h"

EnvironmentVariablesModel::EnvironmentVariablesModel(Settings &settings, QObject *parent)
    : QAbstractTableModel(parent), m_settings(settings)
{
    m_settings.updates<EnvironmentVariables>(
        SettingKeys::environmentVariables, this,
        [this](const EnvironmentVariables &stored) { follow(stored); });
}

int EnvironmentVariablesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_variables.contents.size());
}

int EnvironmentVariablesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QVariant EnvironmentVariablesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid))
        return {};
    const EnvironmentVariable &variable = m_variables.contents.at(index.row());
    switch (index.column()) {
    case enabledColumn:
        if (role == Qt::CheckStateRole)
            return int(variable.enabled ? Qt::Checked : Qt::Unchecked);
        if (role == Qt::AccessibleTextRole)
            return variable.enabled ? localized("Enabled") : localized("Disabled");
        return {};
    case keyColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return variable.key;
        return {};
    case valueColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return variable.value;
        return {};
    }
    return {};
}

bool EnvironmentVariablesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid))
        return false;
    EnvironmentVariable &variable = m_variables.contents[index.row()];
    if (index.column() == enabledColumn && role == Qt::CheckStateRole)
        variable.enabled = Qt::CheckState(value.toInt()) == Qt::Checked;
    else if (index.column() == keyColumn && role == Qt::EditRole)
        variable.key = value.toString();
    else if (index.column() == valueColumn && role == Qt::EditRole)
        variable.value = value.toString();
    else
        return false;
    Q_EMIT dataChanged(index, index, {role, Qt::DisplayRole});
    return store();
}

Qt::ItemFlags EnvironmentVariablesModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == enabledColumn)
        return flags | Qt::ItemIsUserCheckable;
    return flags | Qt::ItemIsEditable;
}

QVariant EnvironmentVariablesModel::headerData(int section, Qt::Orientation orientation,
                                               int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case enabledColumn:
        return localized("On");
    case keyColumn:
        return localized("Name");
    case valueColumn:
        return localized("Value");
    }
    return {};
}

bool EnvironmentVariablesModel::insertRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || row > rowCount() || count < 1)
        return false;
    beginInsertRows({}, row, row + count - 1);
    for (int i = 0; i < count; ++i)
        m_variables.contents.insert(row, EnvironmentVariable{});
    endInsertRows();
    return store();
}

bool EnvironmentVariablesModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > rowCount())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    m_variables.contents.remove(row, count);
    endRemoveRows();
    return store();
}

bool EnvironmentVariablesModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                                         const QModelIndex &destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || count < 1 || sourceRow < 0 ||
        sourceRow + count > rowCount() || destinationChild < 0 || destinationChild > rowCount())
        return false;
    if (!beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild))
        return false;
    QList<EnvironmentVariable> &rows = m_variables.contents;
    const QList<EnvironmentVariable> moved = rows.mid(sourceRow, count);
    rows.remove(sourceRow, count);
    const int target = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        rows.insert(target + i, moved.at(i));
    endMoveRows();
    return store();
}

bool EnvironmentVariablesModel::store()
{
    if (Status error = m_settings.set(SettingKeys::environmentVariables, m_variables)) {
        follow(m_settings.get(SettingKeys::environmentVariables));
        Q_EMIT writeFailed(*error);
        return false;
    }
    return true;
}

// The rows keep their identities while the stored list says the same as they do, so that a
// write of ours coming back leaves the view's selection and editor alone.
void EnvironmentVariablesModel::follow(const EnvironmentVariables &stored)
{
    if (stored == m_variables)
        return;
    beginResetModel();
    m_variables = stored;
    endResetModel();
}
