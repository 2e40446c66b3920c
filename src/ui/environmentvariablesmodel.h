#pragma once

#include "environmentvariables.h"
#include "result.h"

#include <QAbstractTableModel>

class Settings;

// The user's environment variables ("environment_variables") as an editable table: whether a
// variable is set, its name, its value. Every edit is written at once, in the user's order;
// a change written by someone else replaces the rows.
class EnvironmentVariablesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        enabledColumn,
        keyColumn,
        valueColumn,
        columnCount_
    };

    explicit EnvironmentVariablesModel(Settings &settings, QObject *parent = nullptr);

    const EnvironmentVariables &variables() const { return m_variables; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool insertRows(int row, int count, const QModelIndex &parent = {}) override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                  const QModelIndex &destinationParent, int destinationChild) override;

Q_SIGNALS:
    // The settings file refused the edit; the rows show what it holds.
    void writeFailed(const Error &error);

private:
    bool store();
    void follow(const EnvironmentVariables &stored);

    Settings &m_settings;
    EnvironmentVariables m_variables;
};
