#include "locationssettingspage.h"

#include "localized.h"
#include "pathsettingfield.h"
#include "settings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QGroupBox *group(const QString &title, PathSettingField *field, const QString &explanation)
{
    auto *box = new QGroupBox(title);
    field->edit()->setAccessibleName(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(field);
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

LocationsSettingsPage::LocationsSettingsPage(Settings &settings, QWidget *parent) : QWidget(parent)
{
    setObjectName(u"locationsSettings"_s);
    m_configFile =
        new PathSettingField(settings, SettingKeys::userConfigFilePath, QFileDialog::ExistingFile);
    m_configFile->edit()->setPlaceholderText(u"~/.ssh/config"_s);
    m_agentSocket =
        new PathSettingField(settings, SettingKeys::authAgentUnixSock, QFileDialog::ExistingFile);
    m_agentSocket->edit()->setPlaceholderText(u"$SSH_AUTH_SOCK"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        group(localized("Configuration File"), m_configFile,
              localized("The default configuration file is `~/.ssh/config`. If you overwrite this "
                        "value, the system-wide configuration file (`/etc/ssh/ssh_config`) will be "
                        "ignored.")));
    layout->addWidget(group(
        localized("Agent Socket"), m_agentSocket,
        localized("Identifies the path of a UNIX-domain socket used to communicate with the "
                  "agent. Overwrite this value if you're using an agent other than `ssh-agent`, "
                  "e.g. `gpg-agent`.")));
    layout->addStretch(1);
    setTabOrder(m_configFile->edit(), m_configFile->chooseButton());
    setTabOrder(m_configFile->chooseButton(), m_agentSocket->edit());
    setTabOrder(m_agentSocket->edit(), m_agentSocket->chooseButton());
}
