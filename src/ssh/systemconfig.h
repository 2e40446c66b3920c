#pragma once

#include "result.h"

#include <QString>

// The stock client's system-wide configuration file, /etc/ssh/ssh_config, which every run reads
// unless the setting "user_config_file_path" names a file of its own. Tests redirect its folder
// through VELLSSH_TEST_ETC_SSH, the one seam for that, so that no test ever writes /etc.
QString systemConfigFilePath();
QString defaultSystemConfigText();
// Writes the default text when the file is missing and its folder is writable (which it is for
// root only, as a rule); an existing file is never touched, and a folder that cannot be written
// is no error.
Status ensureSystemConfigFile(const QString &path = systemConfigFilePath());

// The text of a client configuration file; a file that does not exist reads as no text, since
// saving makes it.
Result<QString> readConfigText(const QString &path);
// Replaces the file's text, keeping its mode. A file that this user may not change (the
// system-wide one, for anyone but root) says so in its suggestion.
Status writeConfigText(const QString &path, const QString &text);
