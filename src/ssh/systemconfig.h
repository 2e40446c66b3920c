#pragma once

#include "result.h"

#include <QString>

// The client configuration file that every run reads first: $XDG_CONFIG_HOME/VellSSH/ssh_config.
QString systemConfigFilePath();
QString defaultSystemConfigText();
// Writes the default text when the file does not exist yet; an existing file is never touched.
Status ensureSystemConfigFile(const QString &path = systemConfigFilePath());
