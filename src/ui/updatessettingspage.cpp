#include "updatessettingspage.h"

#include "localized.h"
#include "softwareupdater.h"
#include "updatermodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

constexpr UpdateChannel channels[] = {UpdateChannel::stable, UpdateChannel::beta};
// Hourly is a valid interval that the picker does not offer.
constexpr UpdateCheckInterval offeredIntervals[] = {
    UpdateCheckInterval::daily, UpdateCheckInterval::weekly, UpdateCheckInterval::monthly};

} // namespace

UpdatesSettingsPage::UpdatesSettingsPage(UpdaterModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_channel(new QComboBox(this)),
      m_automatic(new QCheckBox(localized("Automatically check for updates"), this)),
      m_interval(new QComboBox(this)), m_lastChecked(new QLabel(this)),
      m_checkNow(new QPushButton(localized("Check Now"), this))
{
    setObjectName(u"updatesSettingsPage"_s);
    for (const UpdateChannel channel : channels)
        m_channel->addItem(displayName(channel), QVariant::fromValue(int(channel)));
    for (const UpdateCheckInterval interval : offeredIntervals)
        m_interval->addItem(displayName(interval), QVariant::fromValue(qint64(interval)));
    m_channel->setAccessibleName(localized("Update channel"));
    m_interval->setAccessibleName(localized("Check interval"));
    m_lastChecked->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lastChecked->setWordWrap(true);
    buildLayout();
    connectModel();
    showChannel();
    showAutomaticChecks();
    showLastCheck();
    m_checkNow->setEnabled(m_model.canCheckForUpdates());
}

void UpdatesSettingsPage::buildLayout()
{
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(localized("Update channel:"), m_channel);
    auto *channelNote = new QLabel(
        localized("Beta versions bring new features sooner and may be less stable."), this);
    channelNote->setWordWrap(true);
    channelNote->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    channelNote->setEnabled(false);
    form->addRow(QString(), channelNote);
    form->addRow(QString(), m_automatic);
    form->addRow(localized("Check interval:"), m_interval);
    auto *last = new QHBoxLayout;
    last->addWidget(m_lastChecked);
    last->addSpacing(12);
    last->addWidget(m_checkNow);
    last->addStretch();
    form->addRow(localized("Last checked:"), last);
}

void UpdatesSettingsPage::connectModel()
{
    connect(m_channel, &QComboBox::activated, this, [this](int index) {
        m_model.setUpdateChannel(UpdateChannel(m_channel->itemData(index).toInt()));
    });
    connect(m_automatic, &QCheckBox::toggled, &m_model,
            &UpdaterModel::setAutomaticallyChecksForUpdates);
    connect(m_interval, &QComboBox::activated, this, [this](int index) {
        m_model.setUpdateCheckInterval(
            UpdateCheckInterval(m_interval->itemData(index).toLongLong()));
    });
    connect(m_checkNow, &QPushButton::clicked, &m_model, &UpdaterModel::checkForUpdates);
    connect(&m_model, &UpdaterModel::updateChannelChanged, this, &UpdatesSettingsPage::showChannel);
    connect(&m_model, &UpdaterModel::automaticallyChecksForUpdatesChanged, this,
            &UpdatesSettingsPage::showAutomaticChecks);
    connect(&m_model, &UpdaterModel::updateCheckIntervalChanged, this,
            &UpdatesSettingsPage::showAutomaticChecks);
    connect(&m_model, &UpdaterModel::lastUpdateCheckDateChanged, this,
            &UpdatesSettingsPage::showLastCheck);
    connect(&m_model.updater(), &SoftwareUpdater::checkFinished, this,
            [this](const UpdateCheck &check) {
                m_lastFailure = check.error ? std::optional(check.error->message) : std::nullopt;
                showLastCheck();
            });
    connect(&m_model, &UpdaterModel::canCheckForUpdatesChanged, m_checkNow,
            &QPushButton::setEnabled);
    connect(&m_model, &UpdaterModel::writeFailed, this, [this](const QString &message) {
        QMessageBox::warning(this, localized("The setting could not be saved."), message);
        showChannel();
        showAutomaticChecks();
    });
}

void UpdatesSettingsPage::showChannel()
{
    m_channel->setCurrentIndex(m_channel->findData(int(m_model.updateChannel())));
}

// Hourly is listed only while it is the setting's value, so that it reads as what it is.
void UpdatesSettingsPage::showAutomaticChecks()
{
    const QSignalBlocker blocker(m_automatic);
    m_automatic->setChecked(m_model.automaticallyChecksForUpdates());
    const qint64 hourly = qint64(UpdateCheckInterval::hourly);
    const qint64 current = qint64(m_model.updateCheckInterval());
    const int listed = m_interval->findData(hourly);
    if (current == hourly && listed < 0)
        m_interval->insertItem(0, localized("Hourly"), QVariant::fromValue(hourly));
    else if (current != hourly && listed >= 0)
        m_interval->removeItem(listed);
    m_interval->setCurrentIndex(m_interval->findData(current));
    m_interval->setEnabled(m_automatic->isChecked());
}

void UpdatesSettingsPage::showLastCheck()
{
    const std::optional<QDateTime> last = m_model.lastUpdateCheckDate();
    if (!last)
        return m_lastChecked->setText(localized("Never"));
    const QString date = QLocale().toString(last->toLocalTime(), QLocale::ShortFormat);
    m_lastChecked->setText(m_lastFailure ? localized("%1 — failed: %2").arg(date, *m_lastFailure)
                                         : date);
}
