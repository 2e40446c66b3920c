#include "connectionlogview.h"

#include "localized.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

QTextBlockFormat lineFormat(bool rule)
{
    QTextBlockFormat format;
    format.setLineHeight(ConnectionLogView::lineHeightPercent,
                         QTextBlockFormat::ProportionalHeight);
    // An empty block with a ruler draws it through its middle: a line across the whole log.
    if (rule)
        format.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                           QTextLength(QTextLength::PercentageLength, 100));
    return format;
}

} // namespace

ConnectionLogView::ConnectionLogView(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAccessibleName(localized("Connection Log"));
    QScrollBar *bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_atBottom = value >= bar->maximum(); });
    // Every change of the text changes the range, however late the layout catches up.
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_atBottom)
            bar->setValue(maximum);
    });
}

void ConnectionLogView::setLog(ConnectionLog *log)
{
    if (m_log == log)
        return;
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    m_atBottom = true;
    render();
    if (!log)
        return;
    connect(log, &ConnectionLog::lineAppended, this, &ConnectionLogView::append);
    connect(log, &ConnectionLog::linesRemoved, this, &ConnectionLogView::removeOldest);
    connect(log, &QObject::destroyed, this, [this] {
        m_blocks.clear();
        clear();
    });
}

bool ConnectionLogView::isAtBottom() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

QColor ConnectionLogView::lineColour(Logger::Level level, const QPalette &palette)
{
    switch (level) {
    case Logger::Level::trace:
    case Logger::Level::debug:
        return palette.color(QPalette::PlaceholderText);
    case Logger::Level::info:
        return palette.color(QPalette::Text);
    case Logger::Level::notice:
        return QColor(52, 199, 89);
    case Logger::Level::warning:
        return QColor(255, 149, 0);
    case Logger::Level::error:
        return QColor(Qt::red);
    case Logger::Level::critical:
        return QColor(221, 76, 79);
    }
    Q_UNREACHABLE();
}

void ConnectionLogView::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    // Lines of the ordinary and the secondary colour follow a new palette.
    if (event->type() == QEvent::PaletteChange && m_log) {
        const int value = verticalScrollBar()->value();
        const bool atBottom = m_atBottom;
        render();
        if (!atBottom)
            verticalScrollBar()->setValue(value);
    }
}

void ConnectionLogView::render()
{
    m_blocks.clear();
    clear();
    if (!m_log)
        return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const ConnectionLogLine &line : m_log->lines())
        insert(cursor, line);
    cursor.endEditBlock();
}

void ConnectionLogView::append(const ConnectionLogLine &line)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    insert(cursor, line);
}

void ConnectionLogView::insert(QTextCursor &cursor, const ConnectionLogLine &line)
{
    // An empty document still has its one block, which the first line takes.
    const bool first = m_blocks.empty();
    const int before = document()->blockCount() - (first ? 1 : 0);
    QTextCharFormat characters;
    characters.setForeground(lineColour(line.level, palette()));
    if (first) {
        cursor.setBlockFormat(lineFormat(line.isRule));
        cursor.setBlockCharFormat(characters);
    } else {
        cursor.insertBlock(lineFormat(line.isRule), characters);
    }
    if (line.isRule)
        cursor.insertBlock(lineFormat(false), characters);
    else
        cursor.insertText(line.text(), characters);
    m_blocks.push_back(document()->blockCount() - before);
}

void ConnectionLogView::removeOldest(qsizetype count)
{
    int blocks = 0;
    for (; count > 0 && !m_blocks.empty(); --count) {
        blocks += m_blocks.front();
        m_blocks.pop_front();
    }
    if (m_blocks.empty()) {
        clear();
        return;
    }
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const QTextBlock kept = document()->findBlockByNumber(blocks);
    const qreal dropped = layout->blockBoundingRect(kept).top() -
                          layout->blockBoundingRect(document()->firstBlock()).top();
    const int value = verticalScrollBar()->value();
    const bool atBottom = m_atBottom;
    QTextCursor cursor(document());
    cursor.setPosition(kept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // The first block keeps the format of the first one removed.
    cursor.setBlockFormat(lineFormat(m_log && m_log->lines().value(0).isRule));
    if (!atBottom)
        verticalScrollBar()->setValue(value - qRound(dropped));
}
