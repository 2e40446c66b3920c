#pragma once

#include "environmentvariables.h"

#include <QMap>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

// What shapes every client run's environment besides the application's own.
struct ChildEnvironmentInputs
{
    QProcessEnvironment applicationEnvironment = QProcessEnvironment::systemEnvironment();
    EnvironmentVariables userVariables;
    // The setting "auth_agent_unix_sock".
    QString authAgentSocket;
    QString askPassProgram;
    bool setLocale = false;
    std::optional<QString> terminalType;
};

// The application's environment without the keys that describe this process rather than the
// user, then the user's variables, the terminal type, the locale, the ask-pass program and the
// agent socket, later ones winning.
QMap<QString, QString> makeChildEnvironment(const ChildEnvironmentInputs &inputs);
