#pragma once

#include <QString>

// Every text a user reads goes through this one lookup, in the translation context "Shared"
// with the English text as the key, so that one translation file changes them all.
// (lupdate: run with -tr-function-alias tr+=localized.)
QString localized(const char *english);
