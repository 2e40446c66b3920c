#include "textstorageloghandler.h"

using namespace Qt::StringLiterals;

QString ConnectionLogLine::text() const
{
    // Its own line feed leaves an empty line below the rule.
    if (isRule)
        return u"\u00a0 \t \u00a0\n"_s;
    if (!time)
        return message;
    return time->toString(u"HH:mm:ss"_s) + u' ' + message;
}

void ConnectionLog::append(const ConnectionLogLine &line)
{
    if (m_characters > characterLimit) {
        // Drop through the line that holds the middle character.
        const qsizetype middle = m_characters / 2;
        qsizetype position = 0;
        qsizetype count = 0;
        while (count < m_lines.size() && position <= middle)
            position += m_lines[count++].text().size() + 1;
        m_lines.remove(0, count);
        m_characters = std::max<qsizetype>(0, m_characters - position);
        Q_EMIT linesRemoved(count);
    }
    if (!m_lines.isEmpty())
        ++m_characters;
    m_characters += line.text().size();
    m_lines.append(line);
    Q_EMIT lineAppended(line);
}

QString ConnectionLog::toPlainText() const
{
    QStringList texts;
    texts.reserve(m_lines.size());
    for (const ConnectionLogLine &line : m_lines)
        texts.append(line.text());
    return texts.join(u'\n');
}

void ConnectionLog::clear()
{
    const qsizetype count = m_lines.size();
    m_lines.clear();
    m_characters = 0;
    if (count)
        Q_EMIT linesRemoved(count);
}

void TextStorageLogHandler::write(const LogRecord &record)
{
    ConnectionLogLine line;
    line.level = record.level;
    line.isRule = record.source == Logger::rule;
    if (!line.isRule) {
        line.message = record.message;
        if (record.source != Logger::standardError)
            line.time = QTime::currentTime();
    }
    m_storage->append(line);
}
