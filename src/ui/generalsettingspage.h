#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class Settings;

// Where the application shows itself ("app_icon_mode") and whether it starts at login
// ("launch_at_login"). The controls follow the settings, whoever writes them.
class GeneralSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit GeneralSettingsPage(Settings &settings, QWidget *parent = nullptr);

    QComboBox *appIconMode() const { return m_appIconMode; }
    QCheckBox *launchAtLogin() const { return m_launchAtLogin; }

private:
    void bind();

    Settings &m_settings;
    QComboBox *m_appIconMode = nullptr;
    QCheckBox *m_launchAtLogin = nullptr;
};
