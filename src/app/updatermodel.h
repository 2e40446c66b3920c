#pragma once

#include "settings.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class SoftwareUpdater;

// The updater as the settings window and the menus see it: each field with a change signal, and
// changes written back to the updater's settings.
class UpdaterModel : public QObject
{
    Q_OBJECT

public:
    explicit UpdaterModel(SoftwareUpdater &updater, QObject *parent = nullptr);

    SoftwareUpdater &updater() const { return m_updater; }

    bool canCheckForUpdates() const;
    std::optional<QDateTime> lastUpdateCheckDate() const;
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    UpdateCheckInterval updateCheckInterval() const;
    void setUpdateCheckInterval(UpdateCheckInterval interval);
    UpdateChannel updateChannel() const;
    void setUpdateChannel(UpdateChannel channel);

    void checkForUpdates();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool can);
    void lastUpdateCheckDateChanged();
    void automaticallyChecksForUpdatesChanged(bool on);
    void updateCheckIntervalChanged(UpdateCheckInterval interval);
    void updateChannelChanged(UpdateChannel channel);
    // A setting could not be written; the message is for the user.
    void writeFailed(const QString &message);

private:
    void settingChanged(const QString &name);
    template<class T>
    void write(const SettingKey<T> &key, const T &value);

    SoftwareUpdater &m_updater;
};
