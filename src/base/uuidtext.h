#pragma once

#include <QString>
#include <QUuid>

#include <optional>

// A uuid as records, files and messages write it: upper case, without braces.
QString uuidText(const QUuid &uuid);
// The same for a uuid that may be absent: empty without one.
QString uuidText(const std::optional<QUuid> &uuid);

// The uuid that the text names, with or without braces and in either case; nothing for text
// that names none (the nil uuid included).
std::optional<QUuid> uuidFromText(const QString &text);
