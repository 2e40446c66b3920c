#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class IdentityKeyManager;

// The identity directory's files as the manager lists them, one row each: the file name and
// what the file holds. It follows the manager while the directory changes.
class IdentityListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        nameColumn,
        kindColumn,
        columnCount_
    };
    // The row's full path.
    static constexpr int pathRole = Qt::UserRole + 1;

    explicit IdentityListModel(IdentityKeyManager &manager, QObject *parent = nullptr);

    QString pathAt(int row) const { return m_paths.value(row); }
    int rowOf(const QString &path) const { return int(m_paths.indexOf(path)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void reload();
    QString kind(const QString &path) const;

    IdentityKeyManager &m_manager;
    QStringList m_paths;
};
