#include "softwareupdater.h"

#include "projectsite.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcUpdater, "io.vellssh.updater")

using namespace std::chrono;

milliseconds untilNextCheck(const std::optional<QDateTime> &lastCheck, UpdateCheckInterval interval,
                            const QDateTime &now)
{
    if (!lastCheck || *lastCheck > now)
        return milliseconds(0);
    const QDateTime due = lastCheck->addSecs(qint64(interval));
    return milliseconds(std::max<qint64>(0, now.msecsTo(due)));
}

SoftwareUpdater::Options SoftwareUpdater::defaultOptions()
{
    return Options{ProjectSite::appcastUrl(), ProjectSite::applicationVersion(), {}};
}

SoftwareUpdater::SoftwareUpdater(Settings &settings, Options options, QObject *parent)
    : QObject(parent), m_settings(settings), m_options(std::move(options)), m_delegate(settings),
      m_fetcher(m_options.limits)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SoftwareUpdater::scheduledCheckDue);
    connect(&m_fetcher, &FeedFetcher::finished, this, &SoftwareUpdater::fetched);
    connect(&m_settings, &Settings::changed, this, [this](const QString &name) {
        if (name == SettingKeys::automaticallyChecksForUpdates.name ||
            name == SettingKeys::updateCheckInterval.name)
            schedule();
    });
}

void SoftwareUpdater::checkForUpdates()
{
    if (canCheckForUpdates())
        check(UpdateCheck::Origin::user);
}

void SoftwareUpdater::startAutomaticChecks(milliseconds firstDelay)
{
    m_automatic = true;
    m_notBefore = QDateTime::currentDateTimeUtc().addMSecs(firstDelay.count());
    schedule();
}

void SoftwareUpdater::skipVersion(const QString &version)
{
    if (const Status failed =
            m_settings.set(SettingKeys::skippedUpdateVersion, std::optional(version)))
        qCWarning(lcUpdater) << failed->message;
}

void SoftwareUpdater::check(UpdateCheck::Origin origin)
{
    m_origin = origin;
    m_fetcher.fetch(m_options.feedUrl);
    // A feed address that is refused ends the check before it starts.
    if (m_fetcher.isFetching())
        Q_EMIT canCheckForUpdatesChanged(false);
}

void SoftwareUpdater::fetched(const Result<QByteArray> &document)
{
    UpdateCheck outcome{m_origin, std::nullopt, std::nullopt};
    if (!document) {
        outcome.error = document.error();
    } else if (const auto items = parseAppcast(*document); !items) {
        outcome.error = items.error();
    } else {
        outcome.update =
            newestUpdate(*items, m_options.currentVersion, m_delegate.allowedChannels());
    }
    if (outcome.error)
        qCInfo(lcUpdater) << "update check failed:" << outcome.error->message;
    // Every attempt counts, so that a machine without network does not ask again at once.
    if (const Status failed = m_settings.set(SettingKeys::lastUpdateCheckDate,
                                             std::optional(QDateTime::currentDateTimeUtc())))
        qCWarning(lcUpdater) << failed->message;
    if (m_origin == UpdateCheck::Origin::schedule && outcome.update &&
        m_settings.get(SettingKeys::skippedUpdateVersion) == outcome.update->version)
        outcome.update.reset();
    Q_EMIT canCheckForUpdatesChanged(canCheckForUpdates());
    Q_EMIT checkFinished(outcome);
    schedule();
}

// The timer never waits longer than a day, so that a suspended machine and a month's interval
// (more than a QTimer holds) are looked at again.
void SoftwareUpdater::schedule()
{
    m_timer.stop();
    m_nextCheck.reset();
    if (!m_automatic || !m_settings.get(SettingKeys::automaticallyChecksForUpdates))
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const milliseconds wait =
        std::max(untilNextCheck(m_settings.get(SettingKeys::lastUpdateCheckDate),
                                m_settings.get(SettingKeys::updateCheckInterval), now),
                 milliseconds(std::max<qint64>(0, now.msecsTo(m_notBefore))));
    m_nextCheck = now.addMSecs(wait.count());
    m_timer.start(std::min<milliseconds>(wait, hours(24)));
}

void SoftwareUpdater::scheduledCheckDue()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool due =
        untilNextCheck(m_settings.get(SettingKeys::lastUpdateCheckDate),
                       m_settings.get(SettingKeys::updateCheckInterval), now) == milliseconds(0);
    if (due && canCheckForUpdates())
        check(UpdateCheck::Origin::schedule);
    else if (!due)
        schedule();
}
