#pragma once

#include <QWidget>

class PathSettingField;
class QLabel;
class Settings;

// The client's configuration file ("user_config_file_path") and the agent's socket
// ("auth_agent_unix_sock"), each with what it does.
class LocationsSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit LocationsSettingsPage(Settings &settings, QWidget *parent = nullptr);

    PathSettingField *configFile() const { return m_configFile; }
    PathSettingField *agentSocket() const { return m_agentSocket; }

private:
    PathSettingField *m_configFile = nullptr;
    PathSettingField *m_agentSocket = nullptr;
};

// An explanation whose `quoted` names read as code.
QLabel *explanationLabel(const QString &text);
