#pragma once

#include <QString>

// Text as the search and the name order compare it: case folded, diacritics removed.
QString foldedForSearch(const QString &text);

// The order of names in listings: case-insensitive, and runs of digits compare by their
// numeric value, so "db 9" comes before "db 10".
int compareNatural(const QString &a, const QString &b);
