#pragma once

#include <QWidget>

class OptionCatalogueModel;
class Profile;
class QAction;
class QComboBox;
class QLineEdit;
class QSplitter;
class QTextBrowser;
class QTreeView;
class Settings;

// Every client option of the catalogue for one profile: a filter over names and help texts,
// the options with their values to edit in place, and the quick help of the selected option.
class OptionCatalogueEditor : public QWidget
{
    Q_OBJECT

public:
    // The settings keep where the user put the divider between the list and the help; none
    // keeps it for the window's life only.
    explicit OptionCatalogueEditor(Settings *settings, QWidget *parent = nullptr);

    void setProfile(Profile *profile);
    void setEffectiveValues(const QMap<QString, QString> &values);
    void refreshValues();

    OptionCatalogueModel *model() const { return m_model; }
    QTreeView *tree() const { return m_tree; }
    QLineEdit *filterField() const { return m_filter; }
    QComboBox *scopeChooser() const { return m_scope; }
    QComboBox *customizedChooser() const { return m_customized; }
    QTextBrowser *helpPane() const { return m_help; }
    QAction *removeAction() const { return m_remove; }

Q_SIGNALS:
    void edited();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeFilterBar();
    QWidget *makeHelpPane();
    void applyFilter();
    void showHelp();

    Settings *m_settings;
    OptionCatalogueModel *m_model;
    QLineEdit *m_filter;
    QComboBox *m_scope;
    QComboBox *m_customized;
    QTreeView *m_tree;
    QTextBrowser *m_help;
    QSplitter *m_splitter;
    QAction *m_remove;
    bool m_splitPlaced = false;
};
