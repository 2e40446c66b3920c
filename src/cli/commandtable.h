#pragma once

#include "commandhelp.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class CliCommand;
class CliEnvironment;

// A row of the dispatcher: a verb, its help and how to make its command.
struct CommandEntry
{
    enum class Section
    {
        // help itself.
        general,
        store,
        // Commands that need a running application.
        daemon
    };
    using Factory =
        std::function<std::unique_ptr<CliCommand>(const QString &verb, CliEnvironment &)>;

    QString verb;
    CommandHelp help;
    Section section;
    Factory make;
};

const QList<CommandEntry> &commandTable();
const CommandEntry *commandFor(const QString &verb);
// What "vellssh-cli help" prints: every verb with its summary.
QString overviewText();
