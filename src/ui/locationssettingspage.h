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
    // Shown while the configuration file set is not there.
    QLabel *configFileWarning() const { return m_configFileWarning; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void warnOfMissingConfigFile();

    Settings &m_settings;
    PathSettingField *m_configFile = nullptr;
    QLabel *m_configFileWarning = nullptr;
    PathSettingField *m_agentSocket = nullptr;
};

// An explanation whose `quoted` names read as code.
QLabel *explanationLabel(const QString &text);
