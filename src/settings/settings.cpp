#include "settings.h"

#include "enumnames.h"
#include "localized.h"
#include "privatefiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringDecoder>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

constexpr auto appIconModes = enumNames<AppIconMode>({
    {AppIconMode::dock, "dock"},
    {AppIconMode::menuBar, "menuBar"},
    {AppIconMode::both, "both"},
});
constexpr auto updateChannels = enumNames<UpdateChannel>({
    {UpdateChannel::stable, "stable"},
    {UpdateChannel::beta, "beta"},
});

} // namespace

QString rawValue(AppIconMode mode)
{
    return appIconModes.name(mode);
}

QString displayName(AppIconMode mode)
{
    switch (mode) {
    case AppIconMode::dock:
        return localized("Dock icon");
    case AppIconMode::menuBar:
        return localized("Menu bar icon");
    case AppIconMode::both:
        return localized("Both");
    }
    return {};
}

QString rawValue(UpdateChannel channel)
{
    return updateChannels.name(channel);
}

QString displayName(UpdateChannel channel)
{
    return channel == UpdateChannel::beta ? localized("Beta") : localized("Stable");
}

std::optional<UpdateCheckInterval> updateCheckIntervalFromSeconds(qint64 seconds)
{
    for (auto interval : {UpdateCheckInterval::hourly, UpdateCheckInterval::daily,
                          UpdateCheckInterval::weekly, UpdateCheckInterval::monthly}) {
        if (qint64(interval) == seconds)
            return interval;
    }
    return std::nullopt;
}

QString displayName(UpdateCheckInterval interval)
{
    switch (interval) {
    case UpdateCheckInterval::hourly:
        return {};
    case UpdateCheckInterval::daily:
        return localized("Daily");
    case UpdateCheckInterval::weekly:
        return localized("Weekly");
    case UpdateCheckInterval::monthly:
        return localized("Monthly");
    }
    return {};
}

QVariant SettingCodec<bool>::encode(const bool &value)
{
    return value;
}

std::optional<bool> SettingCodec<bool>::decode(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        if (stored.toString() == u"true"_s)
            return true;
        if (stored.toString() == u"false"_s)
            return false;
    }
    return std::nullopt;
}

QVariant SettingCodec<QString>::encode(const QString &value)
{
    return value;
}

std::optional<QString> SettingCodec<QString>::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return stored.toString();
}

QVariant SettingCodec<double>::encode(const double &value)
{
    return value;
}

std::optional<double> SettingCodec<double>::decode(const QVariant &stored)
{
    bool ok = false;
    const double value = stored.toString().toDouble(&ok);
    if (stored.typeId() == QMetaType::Double)
        return stored.toDouble();
    return ok ? std::optional(value) : std::nullopt;
}

QVariant SettingCodec<AppIconMode>::encode(const AppIconMode &value)
{
    return rawValue(value);
}

std::optional<AppIconMode> SettingCodec<AppIconMode>::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return appIconModes.value(stored.toString());
}

QVariant SettingCodec<UpdateChannel>::encode(const UpdateChannel &value)
{
    return rawValue(value);
}

std::optional<UpdateChannel> SettingCodec<UpdateChannel>::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return updateChannels.value(stored.toString());
}

QVariant SettingCodec<EnvironmentVariables>::encode(const EnvironmentVariables &value)
{
    return value.toData();
}

std::optional<EnvironmentVariables>
SettingCodec<EnvironmentVariables>::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QByteArray && stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return EnvironmentVariables::fromData(stored.toByteArray());
}

QVariant SettingCodec<UpdateCheckInterval>::encode(const UpdateCheckInterval &value)
{
    return qint64(value);
}

std::optional<UpdateCheckInterval> SettingCodec<UpdateCheckInterval>::decode(const QVariant &stored)
{
    bool ok = false;
    const qint64 seconds = stored.toLongLong(&ok);
    return ok ? updateCheckIntervalFromSeconds(seconds) : std::nullopt;
}

// ISO 8601 in UTC with milliseconds, as every other date the program writes.
QVariant SettingCodec<QDateTime>::encode(const QDateTime &value)
{
    return value.toUTC().toString(Qt::ISODateWithMs);
}

std::optional<QDateTime> SettingCodec<QDateTime>::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(stored.toString(), Qt::ISODateWithMs);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

QString Settings::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/VellSSH/VellSSH.conf"_s;
}

namespace {

// What QSettings reads without complaint but no writer of ours made: NUL bytes (blocks that a
// crash left unwritten) and text that is not UTF-8.
bool holdsForeignBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return true;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return decoder.hasError();
}

QString writeFailure(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() < 4096)
        return systemReason(ENOSPC);
    if (!QFileInfo(folder).isWritable())
        return systemReason(EACCES);
    return localized("the file could not be replaced");
}

} // namespace

Settings::Settings(const QString &filePath, QObject *parent) : QObject(parent), m_filePath(filePath)
{
    // The folder exists from the start, so that another process's first write is seen.
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    setAsideIfNotRegular();
    open();
    setAsideIfDamaged();
    for (const QString &name : m_settings->allKeys())
        m_seen.insert(name, m_settings->value(name));
    // The file is replaced on every write, so its folder is watched as well.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &Settings::reload);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &Settings::reload);
    watch();
}

void Settings::open()
{
    m_settings = std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
}

// A link, a FIFO or a device where the file belongs would be read without end or written
// through: it is moved aside (the link itself, never what it points to) before anything reads.
bool Settings::setAsideIfNotRegular()
{
    const QFileInfo info(m_filePath);
    if (!info.isSymLink() && (!info.exists() || info.isFile()))
        return false;
    setAside(localized("it is not a regular file"));
    return true;
}

void Settings::setAsideIfDamaged()
{
    const QSettings::Status status = m_settings->status();
    if (status == QSettings::NoError && !holdsForeignBytes(m_filePath))
        return;
    setAside(status == QSettings::AccessError ? localized("it cannot be read")
                                              : localized("it is damaged"));
    open();
}

void Settings::setAside(const QString &reason)
{
    // Kept under a name of its own: the next write would otherwise replace it with defaults.
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString aside = m_filePath + u".damaged-"_s + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_filePath + u".damaged-"_s + stamp + u'-' + QString::number(n);
    if (!QFile::rename(m_filePath, aside)) {
        m_blocked = Error{localized("The settings file “%1” cannot be used (%2) nor moved "
                                    "aside; it is left as it is and no setting is saved.")
                              .arg(m_filePath, reason),
                          {},
                          writeFailedCode};
        m_problem = m_blocked;
        return;
    }
    m_problem = Error{localized("The settings file “%1” cannot be used (%2). It was kept as “%3”, "
                                "and the settings start from their defaults.")
                          .arg(m_filePath, reason, aside)};
}

void Settings::watch()
{
    const QString folder = QFileInfo(filePath()).absolutePath();
    if (QFileInfo::exists(folder) && !m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    if (QFileInfo::exists(filePath()) && !m_watcher.files().contains(filePath()))
        m_watcher.addPath(filePath());
}

QVariant Settings::raw(const QString &name) const
{
    return m_settings->value(name);
}

Status Settings::write(const QString &name, const QVariant &value)
{
    if (m_blocked)
        return m_blocked;
    // Private like the store; QSettings keeps the mode of the file that it replaces.
    createPrivateFile(m_filePath);
    if (value.isValid())
        m_settings->setValue(name, value);
    else
        m_settings->remove(name);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        const Error error{localized("The setting %1 could not be saved to “%2”: %3.")
                              .arg(name, m_filePath, writeFailure(m_filePath)),
                          {},
                          writeFailedCode};
        // What counts is the file: the value that did not reach it is dropped.
        open();
        return error;
    }
    watch();
    m_seen.insert(name, m_settings->value(name));
    Q_EMIT changed(name);
    return std::nullopt;
}

void Settings::reload()
{
    if (setAsideIfNotRegular()) {
        qWarning("%s", qPrintable(m_problem->message));
        open();
    }
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        setAsideIfDamaged();
        if (m_problem)
            qWarning("%s", qPrintable(m_problem->message));
    }
    watch();
    QStringList names = m_settings->allKeys();
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it) {
        if (!names.contains(it.key()))
            names.append(it.key());
    }
    for (const QString &name : std::as_const(names)) {
        const QVariant now = m_settings->value(name);
        if (m_seen.value(name) == now)
            continue;
        m_seen.insert(name, now);
        Q_EMIT changed(name);
    }
}

SettingsHistoryTokenStore::SettingsHistoryTokenStore(Settings &settings, const QString &author)
    : m_settings(settings),
      m_key(QStringLiteral("PersistentHistoryTrackingKit.lastToken.") + author)
{}

std::optional<qint64> SettingsHistoryTokenStore::lastToken() const
{
    bool ok = false;
    const qint64 token = m_settings.raw(m_key).toLongLong(&ok);
    return ok ? std::optional(token) : std::nullopt;
}

void SettingsHistoryTokenStore::setLastToken(qint64 token)
{
    // Losing the position only means merging some transactions again.
    if (auto error = m_settings.write(m_key, token))
        qWarning("%s", qPrintable(error->message));
}

namespace {

template<class T>
SettingText textOf(const SettingKey<T> &key, std::function<QString(const T &)> show,
                   std::function<std::optional<T>(const QString &)> parse, QString expected)
{
    return SettingText{key.name, [key, show](const Settings &s) { return show(s.get(key)); },
                       [key, parse, expected](Settings &s, const QString &text) -> Status {
                           const auto value = parse(text);
                           if (!value) {
                               return Error(
                                   localized("“%1” is not a valid value for %2: expected %3.")
                                       .arg(text, key.name, expected));
                           }
                           return s.set(key, *value);
                       },
                       expected, show(key.defaultValue)};
}

std::optional<bool> boolFromText(const QString &text)
{
    return SettingCodec<bool>::decode(text);
}

QString boolText(const bool &value)
{
    return value ? u"true"_s : u"false"_s;
}

QString identity(const QString &text)
{
    return text;
}
namespace {

// An optional text: the empty text removes it.
SettingText optionalText(const SettingKey<std::optional<QString>> &key, QString values)
{
    return SettingText{key.name,
                       [key](const Settings &s) { return s.get(key).value_or(QString()); },
                       [key](Settings &s, const QString &text) -> Status {
                           return s.set(key, text.isEmpty() ? std::nullopt : std::optional(text));
                       },
                       std::move(values)};
}

} // namespace

} // namespace

const QList<SettingText> &settingTexts()
{
    using namespace SettingKeys;
    static const QList<SettingText> texts = {
        textOf<AppIconMode>(
            appIconMode, [](const AppIconMode &m) { return rawValue(m); },
            [](const QString &t) { return SettingCodec<AppIconMode>::decode(t); },
            u"dock, menuBar or both"_s),
        textOf<bool>(launchAtLogin, boolText, boolFromText, u"true or false"_s),
        textOf<bool>(iCloudSync, boolText, boolFromText, u"true or false"_s),
        textOf<UpdateChannel>(
            updateChannel, [](const UpdateChannel &c) { return rawValue(c); },
            [](const QString &t) { return SettingCodec<UpdateChannel>::decode(t); },
            u"stable or beta"_s),
        textOf<QString>(userConfigFilePath, identity, identity, u"a path"_s),
        textOf<QString>(authAgentUnixSock, identity, identity, u"a path"_s),
        textOf<EnvironmentVariables>(
            environmentVariables,
            [](const EnvironmentVariables &v) { return QString::fromUtf8(v.toData()); },
            [](const QString &t) -> std::optional<EnvironmentVariables> {
                if (!QJsonDocument::fromJson(t.toUtf8()).isArray())
                    return std::nullopt;
                return EnvironmentVariables::fromData(t.toUtf8());
            },
            u"a JSON array of {\"key\", \"value\", \"enabled\"} objects"_s),
        textOf<bool>(automaticallyChecksForUpdates, boolText, boolFromText, u"true or false"_s),
        textOf<UpdateCheckInterval>(
            updateCheckInterval,
            [](const UpdateCheckInterval &i) { return QString::number(qint64(i)); },
            [](const QString &t) { return SettingCodec<UpdateCheckInterval>::decode(t); },
            u"3600, 86400, 604800 or 2629800 (seconds)"_s),
        optionalText(syncFolderBookmark, u"a path; empty turns backups off"_s),
        optionalText(syncFolderPath, u"a path; empty turns sync off"_s),
        optionalText(syncDeviceID, u"made by the first sync; read-only"_s),
        textOf<double>(
            profileAdvancedOptionsSplitFraction, [](const double &d) { return QString::number(d); },
            [](const QString &t) -> std::optional<double> {
                bool ok = false;
                const double value = t.toDouble(&ok);
                return ok && value > 0 && value < 1 ? std::optional(value) : std::nullopt;
            },
            u"a fraction between 0 and 1"_s),
    };
    return texts;
}
