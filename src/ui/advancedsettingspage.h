#pragma once

#include <QPersistentModelIndex>
#include <QWidget>

class ConfigFileEditor;
class EnvironmentVariablesModel;
class QPushButton;
class QTableView;
class Settings;

// The environment variables of every client run ("environment_variables") and the
// system-wide client configuration file.
class AdvancedSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit AdvancedSettingsPage(Settings &settings, QWidget *parent = nullptr);

    EnvironmentVariablesModel *variables() const { return m_model; }
    QTableView *variablesView() const { return m_view; }
    ConfigFileEditor *systemConfig() const { return m_systemConfig; }

    // A new variable at the end, its name open for typing.
    void addVariable();
    void removeSelectedVariables();
    // One place up (-1) or down (+1), staying selected.
    void moveCurrentVariable(int step);

private:
    QWidget *makeVariablesGroup(Settings &settings);
    QWidget *makeSystemConfigGroup();
    void updateButtons();
    void dropUnnamedAddition();

    EnvironmentVariablesModel *m_model = nullptr;
    QTableView *m_view = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_up = nullptr;
    QPushButton *m_down = nullptr;
    ConfigFileEditor *m_systemConfig = nullptr;
    // The row just added, until its first edit ends.
    QPersistentModelIndex m_added;
};
