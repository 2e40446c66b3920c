#pragma once

#include "result.h"

#include <QStringList>

// Names and profile references typed on the command line or sent by a script. No stored name
// holds a control character, so one that does is refused with the characters made visible,
// rather than looked up or stored; so is one longer than anybody types. Blanks around a name are
// dropped, as the store drops them.
constexpr int unusableNameCode = 1601;
constexpr qsizetype maxNameLength = 1024;

Result<QString> nameArgument(const QString &text);
// Every name trimmed, or the first refusal.
Result<QStringList> nameArguments(const QStringList &texts);

// Why a named tag was not found, the same for every command and script.
QString noTagMessage(const QString &name);
