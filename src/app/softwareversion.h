#pragma once

#include <QString>

// Orders version texts as people read them: dotted numbers compare number by number ("1.10" after
// "1.9", "1.2" equal to "1.2.0"), and a pre-release ("1.2-beta.2", "1.2b2", "1.2rc1") comes
// before its release and after the one before ("1.1.9" < "1.2-beta.2" < "1.2-beta.10" < "1.2").
// Negative, zero or positive as a sorts before, with or after b.
int compareVersions(const QString &a, const QString &b);
