#include "logger.h"

void Logger::log(Level level, const QString &message, const QString &source) const
{
    m_handler->log(LogRecord{level, message, source});
}

void LogHandler::log(const LogRecord &record)
{
    if (record.level >= m_logLevel)
        write(record);
}
