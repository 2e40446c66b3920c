#include "commandhelp.h"

#include "localized.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString program = u"vellssh-cli "_s;

QString optionLines(const QList<OptionHelp> &options)
{
    qsizetype width = 0;
    for (const OptionHelp &option : options)
        width = std::max(width, option.flag.size());
    QString text;
    for (const OptionHelp &option : options)
        text += u"  "_s + option.flag.leftJustified(width + 2) + option.text + u'\n';
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
        text += u'\n' + help.description + u'\n';
    if (!help.options.isEmpty())
        text += u'\n' + localized("Options:") + u'\n' + optionLines(help.options);
    return text;
}
