#pragma once

#include "result.h"

#include <QStringList>

// Names and profile references typed on the command line. No stored name holds a control
// character, so one that does is refused with the characters made visible, rather than looked
// up or stored; blanks around a name are dropped, as the store drops them.
constexpr int controlCharacterCode = 1601;

Result<QString> nameArgument(const QString &text);
// Every name trimmed, or the first refusal.
Result<QStringList> nameArguments(const QStringList &texts);

// Why a tag named on the command line was not found, the same for every command.
QString noTagMessage(const QString &name);
