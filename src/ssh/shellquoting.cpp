#include "shellquoting.h"

#include <QTextBoundaryFinder>

#include <algorithm>

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

QString shellWord(const QString &text)
{
    // "$", "`", "\", '"' and "!" keep their meaning inside double quotes: a host or user name
    // holding "$(...)" would run when the command is pasted.
    constexpr QStringView live = u"$`\\\"!";
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return live.contains(c); }))
        return shellQuoted(text);
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
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
