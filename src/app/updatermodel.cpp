#include "updatermodel.h"

#include "softwareupdater.h"

namespace Keys = SettingKeys;

UpdaterModel::UpdaterModel(SoftwareUpdater &updater, QObject *parent)
    : QObject(parent), m_updater(updater)
{
    connect(&updater, &SoftwareUpdater::canCheckForUpdatesChanged, this,
            &UpdaterModel::canCheckForUpdatesChanged);
    connect(&updater.settings(), &Settings::changed, this, &UpdaterModel::settingChanged);
}

bool UpdaterModel::canCheckForUpdates() const
{
    return m_updater.canCheckForUpdates();
}

std::optional<QDateTime> UpdaterModel::lastUpdateCheckDate() const
{
    return m_updater.settings().get(Keys::lastUpdateCheckDate);
}

bool UpdaterModel::automaticallyChecksForUpdates() const
{
    return m_updater.settings().get(Keys::automaticallyChecksForUpdates);
}

void UpdaterModel::setAutomaticallyChecksForUpdates(bool on)
{
    write(Keys::automaticallyChecksForUpdates, on);
}

UpdateCheckInterval UpdaterModel::updateCheckInterval() const
{
    return m_updater.settings().get(Keys::updateCheckInterval);
}

void UpdaterModel::setUpdateCheckInterval(UpdateCheckInterval interval)
{
    write(Keys::updateCheckInterval, interval);
}

UpdateChannel UpdaterModel::updateChannel() const
{
    return m_updater.settings().get(Keys::updateChannel);
}

void UpdaterModel::setUpdateChannel(UpdateChannel channel)
{
    write(Keys::updateChannel, channel);
}

void UpdaterModel::checkForUpdates()
{
    m_updater.checkForUpdates();
}

void UpdaterModel::settingChanged(const QString &name)
{
    if (name == Keys::lastUpdateCheckDate.name)
        Q_EMIT lastUpdateCheckDateChanged();
    else if (name == Keys::automaticallyChecksForUpdates.name)
        Q_EMIT automaticallyChecksForUpdatesChanged(automaticallyChecksForUpdates());
    else if (name == Keys::updateCheckInterval.name)
        Q_EMIT updateCheckIntervalChanged(updateCheckInterval());
    else if (name == Keys::updateChannel.name)
        Q_EMIT updateChannelChanged(updateChannel());
}

template<class T>
void UpdaterModel::write(const SettingKey<T> &key, const T &value)
{
    if (m_updater.settings().get(key) == value)
        return;
    if (const Status failed = m_updater.settings().set(key, value))
        Q_EMIT writeFailed(failed->message);
}
