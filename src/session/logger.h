#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class LogHandler;

// A levelled logger with a pluggable handler: each tunnel session has one, and its handler keeps
// the session's connection log.
class Logger
{
public:
    enum class Level
    {
        trace,
        debug,
        info,
        notice,
        warning,
        error,
        critical
    };

    // Where a record comes from; the connection log treats two of them specially.
    static inline const QString vanilla = QStringLiteral("vanilla");
    static inline const QString standardError = QStringLiteral("stderr");
    static inline const QString rule = QStringLiteral("hr");

    explicit Logger(std::shared_ptr<LogHandler> handler) : m_handler(std::move(handler)) {}

    void log(Level level, const QString &message, const QString &source = vanilla) const;
    LogHandler &handler() const { return *m_handler; }

private:
    std::shared_ptr<LogHandler> m_handler;
};

struct LogRecord
{
    Logger::Level level = Logger::Level::info;
    QString message;
    QString source;
};

class LogHandler
{
public:
    virtual ~LogHandler() = default;

    // Records below the level are dropped before write() sees them.
    void log(const LogRecord &record);
    Logger::Level logLevel() const { return m_logLevel; }
    void setLogLevel(Logger::Level level) { m_logLevel = level; }
    // Kept for whoever reads the handler; never printed.
    QVariant metadata(const QString &key) const { return m_metadata.value(key); }
    void setMetadata(const QString &key, const QVariant &value) { m_metadata.insert(key, value); }

protected:
    virtual void write(const LogRecord &record) = 0;

private:
    Logger::Level m_logLevel = Logger::Level::info;
    QHash<QString, QVariant> m_metadata;
};
