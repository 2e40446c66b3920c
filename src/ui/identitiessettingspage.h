#pragma once

#include <QStringList>
#include <QWidget>

class IdentityKeyManager;
class IdentityListModel;
class QAction;
class QTreeView;

// The identity keys in the real home's .ssh: the files that profiles can name, import of key
// files from elsewhere, and deletion after a question. The list follows the folder while
// anything changes it.
class IdentitiesSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit IdentitiesSettingsPage(IdentityKeyManager &manager, QWidget *parent = nullptr);

    QTreeView *list() const { return m_list; }
    QStringList selectedIdentities() const;

    // The usage note, from the translation under its key where one exists.
    static QString usageNote(const QString &directory);

    // The chooser titled "Import Identity Keys"; the files picked in it are imported.
    void chooseFilesToImport();
    // Copies the files into the folder; those refused are named in one alert.
    void importFiles(const QStringList &paths);
    // Asks first, then deletes the selected files.
    void deleteSelected();

private:
    void buildActions();
    void keepSelectionAcrossReloads();
    void updateActions();

    IdentityKeyManager &m_manager;
    IdentityListModel *m_model;
    QTreeView *m_list;
    QAction *m_import = nullptr;
    QAction *m_delete = nullptr;
};
