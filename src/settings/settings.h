#pragma once

#include "environmentvariables.h"
#include "historytokenstore.h"
#include "result.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSettings>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

enum class AppIconMode
{
    dock,
    menuBar,
    both
};
enum class UpdateChannel
{
    stable,
    beta
};
enum class UpdateCheckInterval : qint64
{
    hourly = 3600,
    daily = 86400,
    weekly = 604800,
    monthly = 2629800,
};

QString rawValue(AppIconMode mode);
QString displayName(AppIconMode mode);
QString rawValue(UpdateChannel channel);
QString displayName(UpdateChannel channel);
std::optional<UpdateCheckInterval> updateCheckIntervalFromSeconds(qint64 seconds);
// Empty for the hourly interval, which the picker does not offer.
QString displayName(UpdateCheckInterval interval);

// A typed key with its default. Optional keys have no default: their absence is a value.
template<class T>
struct SettingKey
{
    QString name;
    T defaultValue;
};

namespace SettingKeys {
inline const SettingKey<AppIconMode> appIconMode{QStringLiteral("app_icon_mode"),
                                                 AppIconMode::dock};
inline const SettingKey<bool> launchAtLogin{QStringLiteral("launch_at_login"), false};
inline const SettingKey<bool> iCloudSync{QStringLiteral("icloud_sync"), false};
inline const SettingKey<UpdateChannel> updateChannel{QStringLiteral("update_channel"),
                                                     UpdateChannel::stable};
inline const SettingKey<QString> userConfigFilePath{QStringLiteral("user_config_file_path"), {}};
inline const SettingKey<QString> authAgentUnixSock{QStringLiteral("auth_agent_unix_sock"), {}};
inline const SettingKey<EnvironmentVariables> environmentVariables{
    QStringLiteral("environment_variables"), {}};
// The backup folder, kept as an absolute path.
inline const SettingKey<std::optional<QString>> syncFolderBookmark{
    QStringLiteral("sync_folder_bookmark"), std::nullopt};
// The folder that the sync engine of the user's choice keeps in step across machines, and this
// device's name in it (made once, on first use).
inline const SettingKey<std::optional<QString>> syncFolderPath{QStringLiteral("sync_folder_path"),
                                                               std::nullopt};
inline const SettingKey<std::optional<QString>> syncDeviceID{QStringLiteral("sync_device_id"),
                                                             std::nullopt};
// The updater's own state: its schedule, when it last asked, and the version the user chose to
// hear no more about.
inline const SettingKey<bool> automaticallyChecksForUpdates{
    QStringLiteral("automatically_checks_for_updates"), true};
inline const SettingKey<UpdateCheckInterval> updateCheckInterval{
    QStringLiteral("update_check_interval"), UpdateCheckInterval::daily};
inline const SettingKey<std::optional<QDateTime>> lastUpdateCheckDate{
    QStringLiteral("last_update_check_date"), std::nullopt};
inline const SettingKey<std::optional<QString>> skippedUpdateVersion{
    QStringLiteral("skipped_update_version"), std::nullopt};
inline const SettingKey<double> profileAdvancedOptionsSplitFraction{
    QStringLiteral("profile_advanced_options_split_fraction"), 0.7};
} // namespace SettingKeys

// Stored form of each value type; a stored value of the wrong type or form reads as nothing.
template<class T>
struct SettingCodec;

#define VELL_SETTING_CODEC(T)                                                                      \
    template<>                                                                                     \
    struct SettingCodec<T>                                                                         \
    {                                                                                              \
        static QVariant encode(const T &value);                                                    \
        static std::optional<T> decode(const QVariant &stored);                                    \
    };
VELL_SETTING_CODEC(bool)
VELL_SETTING_CODEC(QString)
VELL_SETTING_CODEC(double)
VELL_SETTING_CODEC(AppIconMode)
VELL_SETTING_CODEC(UpdateChannel)
VELL_SETTING_CODEC(EnvironmentVariables)
VELL_SETTING_CODEC(UpdateCheckInterval)
VELL_SETTING_CODEC(QDateTime)
#undef VELL_SETTING_CODEC

// The machine's preferences: one INI file, read afresh on every get, written at once on every
// set, and watched, so that changes by another process reach updates() too.
class Settings : public QObject
{
    Q_OBJECT

public:
    // $XDG_CONFIG_HOME/VellSSH/VellSSH.conf
    static QString defaultFilePath();
    explicit Settings(const QString &filePath = defaultFilePath(), QObject *parent = nullptr);

    template<class T>
    T get(const SettingKey<T> &key) const
    {
        return SettingCodec<T>::decode(raw(key.name)).value_or(key.defaultValue);
    }
    template<class T>
    std::optional<T> get(const SettingKey<std::optional<T>> &key) const
    {
        return SettingCodec<T>::decode(raw(key.name));
    }

    static constexpr int writeFailedCode = 1;

    // A write that did not reach the file (a full disk, a file that cannot be replaced) is an
    // error, and the value stays as the file has it.
    template<class T>
    Status set(const SettingKey<T> &key, const T &value)
    {
        return write(key.name, SettingCodec<T>::encode(value));
    }
    template<class T>
    Status set(const SettingKey<std::optional<T>> &key, const std::optional<T> &value)
    {
        return write(key.name, value ? SettingCodec<T>::encode(*value) : QVariant());
    }

    // Calls back with the current value at once, then after every change from any writer.
    template<class T>
    QMetaObject::Connection updates(const SettingKey<T> &key, const QObject *receiver,
                                    std::function<void(const T &)> callback)
    {
        callback(get(key));
        return connect(this, &Settings::changed, receiver,
                       [this, key, callback](const QString &name) {
                           if (name == key.name)
                               callback(get(key));
                       });
    }

    QVariant raw(const QString &name) const;
    Status write(const QString &name, const QVariant &value);
    QString filePath() const { return m_filePath; }
    // Picks up changes written by other processes now rather than at the next file event.
    void reload();
    // A settings file that could not be read: what happened to it, said once by whoever shows
    // messages. The file itself is kept aside, never overwritten.
    std::optional<Error> takeProblem() { return std::exchange(m_problem, std::nullopt); }

Q_SIGNALS:
    void changed(const QString &name);

private:
    void watch();
    void open();
    bool setAsideIfNotRegular();
    void setAsideIfDamaged();
    void setAside(const QString &reason);

    QString m_filePath;
    std::unique_ptr<QSettings> m_settings;
    std::optional<Error> m_problem;
    std::optional<Error> m_blocked;
    QFileSystemWatcher m_watcher;
    QHash<QString, QVariant> m_seen;
};

// The history service's position, kept in the settings.
class SettingsHistoryTokenStore : public HistoryTokenStore
{
public:
    SettingsHistoryTokenStore(Settings &settings, const QString &author);
    std::optional<qint64> lastToken() const override;
    void setLastToken(qint64 token) override;

private:
    Settings &m_settings;
    QString m_key;
};

// Every key as text, for the command line: names, current values, and writes from text.
struct SettingText
{
    QString name;
    std::function<QString(const Settings &)> read;
    std::function<Status(Settings &, const QString &)> write;
    // What a value may be, for people, and the default as read shows it.
    QString values{};
    QString defaultValue{};
};
const QList<SettingText> &settingTexts();
