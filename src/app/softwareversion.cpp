#include "softwareversion.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <utility>

namespace {

// A version's parts: the dotted release numbers and, after the first character that is neither a
// digit nor a dot, its pre-release label cut into runs of digits and of other characters.
struct VersionParts
{
    // Digit runs without their leading zeros, so that numbers of any length compare as text.
    QList<QString> release;
    QList<QString> preRelease;
};

QList<QString> labelRuns(QStringView label)
{
    QList<QString> runs;
    QString run;
    for (const QChar c : label) {
        const bool separator = c == u'.' || c == u'-' || c == u'_' || c == u'+';
        if (separator || (!run.isEmpty() && run.back().isDigit() != c.isDigit())) {
            if (!run.isEmpty())
                runs.append(std::exchange(run, {}));
        }
        if (!separator)
            run.append(c.toLower());
    }
    if (!run.isEmpty())
        runs.append(run);
    return runs;
}

QString withoutLeadingZeros(QStringView digits)
{
    qsizetype start = 0;
    while (start < digits.size() && digits.at(start) == u'0')
        ++start;
    return digits.sliced(start).toString();
}

// Compares runs of digits by value, whatever their length.
int compareNumbers(QStringView a, QStringView b)
{
    const QString x = withoutLeadingZeros(a), y = withoutLeadingZeros(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    const int order = x.compare(y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

VersionParts partsOf(const QString &version)
{
    const QString text = version.trimmed();
    qsizetype end = 0;
    while (end < text.size() && (text.at(end).isDigit() || text.at(end) == u'.'))
        ++end;
    VersionParts parts;
    for (const QStringView number : QStringView(text).first(end).split(u'.', Qt::SkipEmptyParts))
        parts.release.append(withoutLeadingZeros(number));
    while (!parts.release.isEmpty() && parts.release.constLast().isEmpty())
        parts.release.removeLast();
    parts.preRelease = labelRuns(QStringView(text).sliced(end));
    return parts;
}

bool isNumber(const QString &run)
{
    return !run.isEmpty() && run.front().isDigit();
}

// Numbers compare as numbers and sort before words, as in "beta.2" against "beta.rc".
int compareRuns(const QString &a, const QString &b)
{
    if (isNumber(a) && isNumber(b))
        return compareNumbers(a, b);
    if (isNumber(a) != isNumber(b))
        return isNumber(a) ? -1 : 1;
    return a.compare(b);
}

} // namespace

int compareVersions(const QString &a, const QString &b)
{
    const VersionParts x = partsOf(a), y = partsOf(b);
    for (qsizetype i = 0; i < std::max(x.release.size(), y.release.size()); ++i) {
        if (const int order = compareNumbers(x.release.value(i), y.release.value(i)); order != 0)
            return order;
    }
    // A release sorts after every pre-release of it.
    if (x.preRelease.isEmpty() || y.preRelease.isEmpty())
        return int(x.preRelease.isEmpty()) - int(y.preRelease.isEmpty());
    for (qsizetype i = 0; i < std::min(x.preRelease.size(), y.preRelease.size()); ++i) {
        if (const int order = compareRuns(x.preRelease.at(i), y.preRelease.at(i)); order != 0)
            return order < 0 ? -1 : 1;
    }
    const qsizetype p = x.preRelease.size(), q = y.preRelease.size();
    return p < q ? -1 : (p > q ? 1 : 0);
}
