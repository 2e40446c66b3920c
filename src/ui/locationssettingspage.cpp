#include "locationssettingspage.h"

#include "homedirectory.h"
#include "localized.h"
#include "pathsettingfield.h"
#include "settings.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QGroupBox *group(const QString &title, PathSettingField *field, const QString &explanation,
                 QLabel *warning = nullptr)
{
    auto *box = new QGroupBox(title);
    field->edit()->setAccessibleName(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(field);
    if (warning)
        layout->addWidget(warning);
    QLabel *label = explanationLabel(explanation);
    label->setBuddy(field->edit());
    layout->addWidget(label);
    return box;
}

} // namespace

QLabel *explanationLabel(const QString &text)
{
    static const QRegularExpression quoted(u"`([^`]*)`"_s);
    QString html = text.toHtmlEscaped();
    html.replace(quoted, u"<code>\\1</code>"_s);
    auto *label = new QLabel(html);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

LocationsSettingsPage::LocationsSettingsPage(Settings &settings, QWidget *parent)
    : QWidget(parent), m_settings(settings)
{
    setObjectName(u"locationsSettings"_s);
    m_configFile =
        new PathSettingField(settings, SettingKeys::userConfigFilePath, QFileDialog::ExistingFile);
    m_configFile->edit()->setPlaceholderText(u"~/.ssh/config"_s);
    m_configFileWarning = new QLabel;
    m_configFileWarning->setObjectName(u"configFileWarning"_s);
    m_configFileWarning->setWordWrap(true);
    m_configFileWarning->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_configFileWarning->hide();
    m_agentSocket =
        new PathSettingField(settings, SettingKeys::authAgentUnixSock, QFileDialog::ExistingFile);
    m_agentSocket->edit()->setPlaceholderText(u"$SSH_AUTH_SOCK"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        group(localized("Configuration File"), m_configFile,
              localized("The default configuration file is `~/.ssh/config`. If you overwrite this "
                        "value, the system-wide configuration file (`/etc/ssh/ssh_config`) will be "
                        "ignored."),
              m_configFileWarning));
    layout->addWidget(group(
        localized("Agent Socket"), m_agentSocket,
        localized("Identifies the path of a UNIX-domain socket used to communicate with the "
                  "agent. Overwrite this value if you're using an agent other than `ssh-agent`, "
                  "e.g. `gpg-agent`.")));
    layout->addStretch(1);
    setTabOrder(m_configFile->edit(), m_configFile->chooseButton());
    setTabOrder(m_configFile->chooseButton(), m_agentSocket->edit());
    setTabOrder(m_agentSocket->edit(), m_agentSocket->chooseButton());
    settings.updates<QString>(SettingKeys::userConfigFilePath, this,
                              [this](const QString &) { warnOfMissingConfigFile(); });
}

// The file may be made after the path is set, so the page looks again each time it shows.
void LocationsSettingsPage::showEvent(QShowEvent *event)
{
    warnOfMissingConfigFile();
    QWidget::showEvent(event);
}

// Only a warning: every tunnel fails until the file is there, but the user may be about to
// make it.
void LocationsSettingsPage::warnOfMissingConfigFile()
{
    const QString path = m_settings.get(SettingKeys::userConfigFilePath);
    const bool missing = !path.isEmpty() && !QFileInfo(expandingTilde(path)).isFile();
    if (missing)
        m_configFileWarning->setText(localized("No file at this path: %1").arg(path));
    m_configFileWarning->setVisible(missing);
}
