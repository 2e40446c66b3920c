#include "commandhelp.h"

#include "localized.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString program = u"vellssh-cli "_s;
// Lines end before this column, as in a terminal of 80.
constexpr qsizetype lineWidth = 80;

// The text broken at blanks into lines that fit, each but the first after the indent; the first
// starts after as many columns.
QString wrapped(const QString &text, qsizetype indent)
{
    QString result;
    qsizetype column = indent;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (column > indent && column + 1 + word.size() >= lineWidth) {
            result += u'\n' + QString(indent, u' ');
            column = indent;
        } else if (column > indent) {
            result += u' ';
            ++column;
        }
        result += word;
        column += word.size();
    }
    return result + u'\n';
}

QString optionLines(const QList<OptionHelp> &options)
{
    qsizetype width = 0;
    for (const OptionHelp &option : options)
        width = std::max(width, option.flag.size());
    const qsizetype indent = width + 4;
    QString text;
    for (const OptionHelp &option : options)
        text += u"  "_s + option.flag.leftJustified(width + 2) + wrapped(option.text, indent);
    return text;
}

} // namespace

QString usageLines(const QString &usage)
{
    const QString prefix = localized("Usage: ");
    QString text;
    const QString indent(prefix.size(), u' ');
    for (const QString &line : usage.split(u'\n')) {
        // A line that starts with blanks goes on with the one before it.
        const bool goesOn = line.startsWith(u' ');
        text += (text.isEmpty() ? prefix : indent) +
                (goesOn ? QString(program.size(), u' ') + line : program + line) + u'\n';
    }
    return text;
}

QString helpText(const CommandHelp &help)
{
    QString text = usageLines(help.usage) + u'\n' + help.summary + u'\n';
    if (!help.description.isEmpty())
        text += u'\n' + wrapped(help.description, 0);
    if (!help.options.isEmpty())
        text += u'\n' + localized("Options:") + u'\n' + optionLines(help.options);
    if (!help.keys.isEmpty())
        text += u'\n' + localized("Keys:") + u'\n' + optionLines(help.keys);
    return text;
}
