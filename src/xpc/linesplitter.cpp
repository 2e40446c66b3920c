#include "linesplitter.h"

#include "localized.h"

LineSplitter::LineSplitter(qsizetype maxLength) : m_maxLength(maxLength)
{
    Q_ASSERT(maxLength > 0);
}

QString LineSplitter::Line::text() const
{
    const QString line = QString::fromUtf8(bytes);
    if (dropped == 0)
        return line;
    return localized("%1 … (%2 more bytes of this line were dropped)").arg(line).arg(dropped);
}

void LineSplitter::take(QByteArrayView part)
{
    const qsizetype room = std::max<qsizetype>(0, m_maxLength - m_pending.size());
    m_pending.append(part.first(std::min(room, part.size())));
    m_dropped += std::max<qsizetype>(0, part.size() - room);
    if (!part.isEmpty())
        m_carriageReturn = part.back() == '\r';
}

LineSplitter::Line LineSplitter::takeLine()
{
    // A carriage return before the line feed belongs to the line ending, even on a cut line.
    if (m_carriageReturn && m_dropped > 0)
        --m_dropped;
    else if (m_carriageReturn)
        m_pending.chop(1);
    m_carriageReturn = false;
    return Line{std::exchange(m_pending, {}), std::exchange(m_dropped, 0)};
}

QList<LineSplitter::Line> LineSplitter::feed(QByteArrayView bytes)
{
    QList<Line> lines;
    for (qsizetype end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n')) {
        take(bytes.first(end));
        lines.append(takeLine());
        bytes = bytes.sliced(end + 1);
    }
    take(bytes);
    return lines;
}

std::optional<LineSplitter::Line> LineSplitter::finish()
{
    Line line = takeLine();
    while (line.dropped == 0 && line.bytes.endsWith('\r'))
        line.bytes.chop(1);
    if (line.bytes.isEmpty() && line.dropped == 0)
        return std::nullopt;
    return line;
}
