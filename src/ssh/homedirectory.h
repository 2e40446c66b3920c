#pragma once

#include <QString>

// The user's actual home directory, from the password database (never $HOME), computed once.
// Tests redirect it through VELLSSH_TEST_REAL_HOME, the one seam for that: it is read only
// when set, so a developer's real home is never touched by a test run.
QString realHomeDirectory();

// "~" becomes the real home, a leading "~/" the real home and "/"; "~user/..." and every other
// path stay as they are.
QString expandingTilde(const QString &path);
