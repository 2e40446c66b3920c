#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CliCommand;
class CliEnvironment;

// A row of the dispatcher: the verbs one usage entry covers and how to make their command.
struct CommandEntry
{
    enum class Section
    {
        // Hidden from the usage text.
        none,
        store,
        // Commands that need a running application.
        daemon
    };
    using Factory =
        std::function<std::unique_ptr<CliCommand>(const QString &verb, CliEnvironment &)>;

    QStringList verbs;
    QString usage;
    Section section;
    Factory make;
};

const QList<CommandEntry> &commandTable();
const CommandEntry *commandFor(const QString &verb);
// The usage text, made from the entries of the table.
QString usageText();
