#pragma once

#include "optionfilter.h"
#include "sshclientconfig.h"

#include <QAbstractItemModel>
#include <QMap>

class Profile;

// The option catalogue as the editor shows it: groups holding options, each option with the
// profile's value beside it. Values are edited in place and written into the profile; an
// option the profile leaves unset shows the value that applies instead, when it is known.
class OptionCatalogueModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        nameColumn,
        valueColumn,
        columns
    };

    explicit OptionCatalogueModel(const QList<SSHClientConfig::Group> &catalogue,
                                  QObject *parent = nullptr);

    void setProfile(Profile *profile);
    // What the client's configuration gives, by lower-case keyword.
    void setEffectiveValues(const QMap<QString, QString> &values);
    void setFilter(const QString &text, SearchScope scope, CustomizedOption customized);
    // After the profile changed elsewhere.
    void refreshValues();

    // The option of a row, or none for a group row.
    const SSHClientConfig::Option *option(const QModelIndex &index) const;
    QModelIndex indexOf(const QString &optionName, int column = nameColumn) const;
    void removeOption(const QModelIndex &index);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant optionData(const SSHClientConfig::Option &option, int column, int role) const;
    QString value(const SSHClientConfig::Option &option) const;
    void rebuild();

    QList<SSHClientConfig::Group> m_catalogue;
    QList<SSHClientConfig::Group> m_shown;
    QMap<QString, QString> m_effective;
    Profile *m_profile = nullptr;
    QString m_text;
    SearchScope m_scope = SearchScope::all;
    CustomizedOption m_customized = CustomizedOption::all;
};
