#pragma once

#include <QString>

// Characters that make a word need quoting in the equivalent command.
inline constexpr char16_t shellSpecialCharacters[] = u"\\ ()\"&'!$<>;|*?[]#`\t{}";

// The text in double quotes when it holds a special character, nothing escaped inside.
QString shellQuoted(const QString &text);

// A plain argument as the equivalent command shows it: shellQuoted, unless the text holds a
// character that a shell still reads inside double quotes; then it is single-quoted.
QString shellWord(const QString &text);

// Every user-perceived character holding a special character, a carriage return or a line feed
// gets a backslash before it.
QString shellEscaped(const QString &text);
