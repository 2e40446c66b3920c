#pragma once

#include <QList>
#include <QString>

// One option of a verb as its help lists it: the flag with its value, and what it does.
struct OptionHelp
{
    QString flag;
    QString text;
};

// What "vellssh-cli help VERB" tells of a verb. The usage lines leave out "vellssh-cli ".
struct CommandHelp
{
    QString usage;
    // One line, for the list of every verb.
    QString summary;
    QString description;
    QList<OptionHelp> options;
    // The names a verb takes as arguments, with what each means, where there is a fixed set.
    QList<OptionHelp> keys{};
};

// The whole help of a verb: its usage, description and options.
QString helpText(const CommandHelp &help);
// The usage lines alone, each after "Usage: vellssh-cli " or its indent.
QString usageLines(const QString &usage);
