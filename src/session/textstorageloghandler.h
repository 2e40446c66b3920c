#pragma once

#include "logger.h"

#include <QList>
#include <QObject>
#include <QTime>

#include <optional>

// One line of a connection log: its level (which gives its colour), the time it was written
// (none for the client's own error output), and its text; a rule draws a horizontal line.
struct ConnectionLogLine
{
    Logger::Level level = Logger::Level::info;
    std::optional<QTime> time;
    QString message;
    bool isRule = false;

    // The characters the line takes in the log's text.
    QString text() const;
    friend bool operator==(const ConnectionLogLine &, const ConnectionLogLine &) = default;
};

// The text of one session's connection log, bounded: past 1,048,576 characters the older half
// is dropped at a line boundary in one step.
class ConnectionLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype characterLimit = 0x100000;

    using QObject::QObject;

    void append(const ConnectionLogLine &line);
    const QList<ConnectionLogLine> &lines() const { return m_lines; }
    // The lines joined by line feeds, as the log view shows them.
    QString toPlainText() const;
    qsizetype characterCount() const { return m_characters; }
    void clear();

Q_SIGNALS:
    void lineAppended(const ConnectionLogLine &line);
    // The first count lines were dropped.
    void linesRemoved(qsizetype count);

private:
    QList<ConnectionLogLine> m_lines;
    qsizetype m_characters = 0;
};

// Writes records into a connection log, with the time for every source but "stderr", and the
// rule line for "hr".
class TextStorageLogHandler : public LogHandler
{
public:
    explicit TextStorageLogHandler(ConnectionLog *storage) : m_storage(storage) {}
    ConnectionLog *storage() const { return m_storage; }

protected:
    void write(const LogRecord &record) override;

private:
    ConnectionLog *m_storage;
};
