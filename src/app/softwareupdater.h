#pragma once

#include "appcastfeed.h"
#include "feedfetcher.h"
#include "settings.h"
#include "vellappupdaterdelegate.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

// How one check ended: the update to offer, none, or why it failed.
struct UpdateCheck
{
    enum class Origin
    {
        user,
        schedule
    };

    Origin origin = Origin::user;
    std::optional<AppcastItem> update;
    std::optional<Error> error;
};
Q_DECLARE_METATYPE(UpdateCheck)

// When the next automatic check is due, counted from now: at once when none was ever made or
// when the last is an interval ago or longer (or lies in the future: a clock set back).
std::chrono::milliseconds untilNextCheck(const std::optional<QDateTime> &lastCheck,
                                         UpdateCheckInterval interval, const QDateTime &now);

// Reads the release feed and says whether a newer release is offered on the user's channel, when
// asked and, while "automatically_checks_for_updates" is on, every interval. It keeps its
// schedule and the date of its last check in the settings.
class SoftwareUpdater : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QUrl feedUrl;
        QString currentVersion;
        FeedFetcher::Limits limits;
    };
    static Options defaultOptions();

    SoftwareUpdater(Settings &settings, Options options, QObject *parent = nullptr);

    bool canCheckForUpdates() const { return !m_fetcher.isFetching(); }
    QString currentVersion() const { return m_options.currentVersion; }
    Settings &settings() const { return m_settings; }

    // The user asked: whatever the outcome, it is for the user to read.
    void checkForUpdates();
    // From now on checks run by themselves while the setting says so, the first no sooner than
    // after the delay, so that a start's own work goes first.
    void startAutomaticChecks(std::chrono::milliseconds firstDelay = std::chrono::minutes(1));
    // When the next automatic check runs; none while they are off or not started.
    std::optional<QDateTime> nextAutomaticCheck() const { return m_nextCheck; }
    // Automatic checks stay silent about this version; a check the user asked for still shows it.
    void skipVersion(const QString &version);

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool can);
    void checkFinished(const UpdateCheck &check);

private:
    void check(UpdateCheck::Origin origin);
    void fetched(const Result<QByteArray> &document);
    void schedule();
    void scheduledCheckDue();

    Settings &m_settings;
    Options m_options;
    VellAppUpdaterDelegate m_delegate;
    FeedFetcher m_fetcher;
    UpdateCheck::Origin m_origin = UpdateCheck::Origin::user;
    QTimer m_timer;
    bool m_automatic = false;
    QDateTime m_notBefore;
    std::optional<QDateTime> m_nextCheck;
};
