#include "shellquoting.h"

#include <QTextBoundaryFinder>

namespace {

bool isSpecial(QChar c)
{
    for (char16_t special : shellSpecialCharacters) {
        if (special != 0 && c == QChar(special))
            return true;
    }
    return false;
}

bool needsEscape(QStringView cluster)
{
    for (QChar c : cluster) {
        if (isSpecial(c) || c == u'\r' || c == u'\n')
            return true;
    }
    return false;
}

} // namespace

QString shellQuoted(const QString &text)
{
    for (QChar c : text) {
        if (isSpecial(c))
            return u'"' + text + u'"';
    }
    return text;
}

QString shellEscaped(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        const QStringView cluster = QStringView(text).mid(start, end - start);
        if (needsEscape(cluster))
            escaped += u'\\';
        escaped += cluster;
        start = end;
    }
    return escaped;
}
