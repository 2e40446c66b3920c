#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// Cuts the output of a child process into lines (LF or CR LF) as it arrives. Each byte is
// looked at once however the output is cut into reads, and a line never holds more than the
// limit: a longer one keeps its beginning, and the rest of it, up to its line feed, is counted
// and dropped, so that a peer printing megabytes without a line feed costs neither time nor
// memory.
class LineSplitter
{
public:
    static constexpr qsizetype defaultMaxLength = 64 * 1024;

    struct Line
    {
        QByteArray bytes;
        // How many bytes of the line went past the limit.
        qsizetype dropped = 0;

        // The line as UTF-8 text; a cut line says how much of it is missing.
        QString text() const;
        friend bool operator==(const Line &, const Line &) = default;
    };

    explicit LineSplitter(qsizetype maxLength = defaultMaxLength);

    QList<Line> feed(QByteArrayView bytes);
    // The last line when the stream has ended without a line feed.
    std::optional<Line> finish();

private:
    void take(QByteArrayView part);
    Line takeLine();

    qsizetype m_maxLength;
    QByteArray m_pending;
    qsizetype m_dropped = 0;
    bool m_carriageReturn = false;
};
