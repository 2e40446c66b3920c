#include "optioncataloguemodel.h"

#include "localized.h"
#include "profile.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

OptionCatalogueModel::OptionCatalogueModel(const QList<SSHClientConfig::Group> &catalogue,
                                           QObject *parent)
    : QAbstractItemModel(parent), m_catalogue(catalogue), m_shown(catalogue)
{}

void OptionCatalogueModel::setProfile(Profile *profile)
{
    beginResetModel();
    m_profile = profile;
    m_shown = filterOptions(m_catalogue, m_text, m_scope, m_customized,
                            m_profile ? m_profile->optionsForReading() : OptionDictionary());
    endResetModel();
}

void OptionCatalogueModel::setEffectiveValues(const QMap<QString, QString> &values)
{
    m_effective = values;
    refreshValues();
}

void OptionCatalogueModel::setFilter(const QString &text, SearchScope scope,
                                     CustomizedOption customized)
{
    m_text = text;
    m_scope = scope;
    m_customized = customized;
    rebuild();
}

void OptionCatalogueModel::rebuild()
{
    beginResetModel();
    m_shown = filterOptions(m_catalogue, m_text, m_scope, m_customized,
                            m_profile ? m_profile->optionsForReading() : OptionDictionary());
    endResetModel();
}

void OptionCatalogueModel::refreshValues()
{
    // Rows stay where they are while values change, so that a value just cleared under the
    // "customized" filter does not pull the row away from under the cursor.
    for (int group = 0; group < m_shown.size(); ++group) {
        const int count = int(m_shown.at(group).options.size());
        if (count > 0)
            Q_EMIT dataChanged(index(0, valueColumn, index(group, 0)),
                               index(count - 1, valueColumn, index(group, 0)));
    }
}

const SSHClientConfig::Option *OptionCatalogueModel::option(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == 0)
        return nullptr;
    return &m_shown.at(int(index.internalId() - 1)).options.at(index.row());
}

QModelIndex OptionCatalogueModel::indexOf(const QString &optionName, int column) const
{
    for (int group = 0; group < m_shown.size(); ++group) {
        const auto &options = m_shown.at(group).options;
        for (int row = 0; row < options.size(); ++row) {
            if (options.at(row).name == optionName)
                return index(row, column, index(group, 0));
        }
    }
    return {};
}

void OptionCatalogueModel::removeOption(const QModelIndex &index)
{
    if (option(index))
        setData(this->index(index.row(), valueColumn, index.parent()), QString());
}

QModelIndex OptionCatalogueModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columns || !hasIndex(row, column, parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, quintptr(0));
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex OptionCatalogueModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int OptionCatalogueModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_shown.size());
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    return int(m_shown.at(parent.row()).options.size());
}

int OptionCatalogueModel::columnCount(const QModelIndex &) const
{
    return columns;
}

QString OptionCatalogueModel::value(const SSHClientConfig::Option &option) const
{
    return m_profile ? m_profile->optionsForReading().value(option.name) : QString();
}

QVariant OptionCatalogueModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (const SSHClientConfig::Option *o = option(index))
        return optionData(*o, index.column(), role);
    if (index.column() != nameColumn)
        return {};
    const SSHClientConfig::Group &group = m_shown.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return group.name;
    case Qt::FontRole: {
        QFont font = QApplication::font();
        font.setBold(true);
        return font;
    }
    default:
        return {};
    }
}

QVariant OptionCatalogueModel::optionData(const SSHClientConfig::Option &option, int column,
                                          int role) const
{
    const QString own = value(option);
    const QString effective = m_effective.value(option.name.toLower());
    if (column == nameColumn) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return option.name;
        if (role == Qt::FontRole && !own.isEmpty()) {
            QFont font = QApplication::font();
            font.setBold(true);
            return font;
        }
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return own.isEmpty() ? effective : own;
    case Qt::EditRole:
        return own;
    case Qt::AccessibleTextRole:
        return own.isEmpty() ? localized("Default: %1").arg(effective) : own;
    case Qt::ToolTipRole:
        return own.isEmpty() && !effective.isEmpty()
                   ? localized("Not set: the configuration gives “%1”").arg(effective)
                   : QVariant();
    case Qt::ForegroundRole:
        return own.isEmpty() ? QVariant(QApplication::palette().placeholderText()) : QVariant();
    case Qt::FontRole: {
        if (!own.isEmpty())
            return {};
        QFont font = QApplication::font();
        font.setItalic(true);
        return font;
    }
    default:
        return {};
    }
}

bool OptionCatalogueModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const SSHClientConfig::Option *o = option(index);
    if (!o || !m_profile || role != Qt::EditRole || index.column() != valueColumn)
        return false;
    const QString text = value.toString().trimmed();
    if (text == this->value(*o))
        return true;
    m_profile->setStringOption(text.isEmpty() ? std::nullopt : std::optional(text), o->name);
    Q_EMIT dataChanged(this->index(index.row(), nameColumn, index.parent()), index);
    return true;
}

Qt::ItemFlags OptionCatalogueModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (!option(index))
        return Qt::ItemIsEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == valueColumn && m_profile)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant OptionCatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == nameColumn ? localized("Option") : localized("Value");
}
