#include "generalsettingspage.h"

#include "localized.h"
#include "settings.h"
#include "settingsalert.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

namespace {

constexpr AppIconMode appIconModes[] = {AppIconMode::dock, AppIconMode::menuBar, AppIconMode::both};

} // namespace

GeneralSettingsPage::GeneralSettingsPage(Settings &settings, QWidget *parent)
    : QWidget(parent), m_settings(settings)
{
    setObjectName(u"generalSettings"_s);
    m_appIconMode = new QComboBox;
    m_appIconMode->setObjectName(u"appIconMode"_s);
    m_appIconMode->setAccessibleName(localized("Show VellSSH as"));
    for (AppIconMode mode : appIconModes)
        m_appIconMode->addItem(displayName(mode), rawValue(mode));
    m_launchAtLogin = new QCheckBox(localized("Launch at login"));
    m_launchAtLogin->setObjectName(u"launchAtLogin"_s);

    auto *layout = new QFormLayout(this);
    layout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    layout->addRow(localized("Show VellSSH as:"), m_appIconMode);
    layout->addRow(QString(), m_launchAtLogin);
    bind();
}

void GeneralSettingsPage::bind()
{
    m_settings.updates<AppIconMode>(SettingKeys::appIconMode, this, [this](AppIconMode mode) {
        const QSignalBlocker quiet(m_appIconMode);
        m_appIconMode->setCurrentIndex(m_appIconMode->findData(rawValue(mode)));
    });
    connect(m_appIconMode, &QComboBox::currentIndexChanged, this, [this](int index) {
        const AppIconMode mode = appIconModes[index];
        if (Status error = m_settings.set(SettingKeys::appIconMode, mode)) {
            const QSignalBlocker quiet(m_appIconMode);
            m_appIconMode->setCurrentIndex(
                m_appIconMode->findData(rawValue(m_settings.get(SettingKeys::appIconMode))));
            showSettingsAlert(this, localized("Settings Error"), *error);
        }
    });

    m_settings.updates<bool>(SettingKeys::launchAtLogin, this, [this](bool launch) {
        const QSignalBlocker quiet(m_launchAtLogin);
        m_launchAtLogin->setChecked(launch);
    });
    connect(m_launchAtLogin, &QCheckBox::toggled, this, [this](bool launch) {
        if (Status error = m_settings.set(SettingKeys::launchAtLogin, launch)) {
            const QSignalBlocker quiet(m_launchAtLogin);
            m_launchAtLogin->setChecked(m_settings.get(SettingKeys::launchAtLogin));
            showSettingsAlert(this, localized("Settings Error"), *error);
        }
    });
}
