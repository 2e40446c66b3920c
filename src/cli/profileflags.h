#pragma once

#include "forwardingtype.h"
#include "result.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The profile fields given on the command line of "add" and "edit", in the order given.
struct ProfileFlags
{
    std::optional<QString> name;
    std::optional<QString> host;
    std::optional<qint32> port;
    std::optional<QString> user;
    std::optional<QString> identity;
    std::optional<QString> certificate;
    std::optional<QString> note;
    std::optional<qint16> retries;
    QList<QPair<ForwardingType, QString>> forwardings;
    // An empty value removes the option.
    QList<QPair<QString, QString>> options;
    QStringList tags;
    bool pin = false;
    bool autoConnect = false;
    bool noAutoConnect = false;
    bool clearForwardings = false;
    QStringList positionals;
};

// Reads the flags; anything else is a positional argument. "edit" accepts more flags than "add".
Result<ProfileFlags> parseProfileFlags(const QStringList &arguments, bool editing);

// Splits an argument list into the flags and positional arguments of the simpler commands:
// each name in valueFlags takes the next argument, each in switches stands alone.
struct SimpleFlags
{
    QHash<QString, QString> values;
    QSet<QString> switches;
    QStringList positionals;
};
Result<SimpleFlags> parseSimpleFlags(const QStringList &arguments, const QStringList &valueFlags,
                                     const QStringList &switches);
