#pragma once

#include "textstorageloghandler.h"

#include <QPointer>
#include <QTextEdit>

#include <deque>

class QTextCursor;

// Shows one session's connection log as it grows: a line per record in its level's colour, in
// the fixed-pitch font. A reader at the end stays at the end as lines arrive; a reader who
// scrolled up keeps the text in view, even while the oldest lines are dropped.
class ConnectionLogView : public QTextEdit
{
    Q_OBJECT

public:
    // Line height as a percentage of the font's.
    static constexpr int lineHeightPercent = 120;

    explicit ConnectionLogView(QWidget *parent = nullptr);

    // Follows the log until another one is set or it goes away; without one the view is empty.
    void setLog(ConnectionLog *log);
    ConnectionLog *log() const { return m_log; }
    bool isAtBottom() const;
    static QColor lineColour(Logger::Level level, const QPalette &palette);

protected:
    void changeEvent(QEvent *event) override;

private:
    void render();
    void append(const ConnectionLogLine &line);
    void removeOldest(qsizetype count);
    void insert(QTextCursor &cursor, const ConnectionLogLine &line);

    QPointer<ConnectionLog> m_log;
    // How many blocks each line of the log took, oldest first: a line may hold line breaks.
    std::deque<int> m_blocks;
    // Whether the reader was at the end before the latest change.
    bool m_atBottom = true;
};
