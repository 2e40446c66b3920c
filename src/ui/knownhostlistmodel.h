#pragma once

#include "knownhostentry.h"

#include <QAbstractTableModel>

// The lines of a known_hosts file as the service read them, in file order: hosts, key type,
// marker and what the line is. Comments and blank lines are listed too, dimmed, because they
// are part of the file that is written back.
class KnownHostListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        hostsColumn,
        keyTypeColumn,
        markerColumn,
        statusColumn,
        columnCount_
    };

    explicit KnownHostListModel(QObject *parent = nullptr);

    const QList<KnownHostEntry> &entries() const { return m_entries; }
    void setEntries(const QList<KnownHostEntry> &entries);

    static QString statusText(KnownHostEntry::Status status);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant display(const KnownHostEntry &entry, int column) const;

    QList<KnownHostEntry> m_entries;
};
