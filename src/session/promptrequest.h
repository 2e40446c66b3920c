#pragma once

#include "authprompt.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

// One question of a client run, as the prompt layer receives it.
struct PromptRequest
{
    AuthPromptType type;
    QString prompt;
    // The session's name and "user@host:port", for the dialog's header.
    QString sessionName;
    QString info;
    // How often the client has asked this question in this run (1 the first time).
    qint64 attempt = 1;
    QUuid sessionUUID;
};

// What a person is asked, in the words of the prompt dialogs.
QString promptMessage(const PromptRequest &request);
// "permission", "input", "password", "interactive", "publickey" or "pkcs11".
QString promptKind(const AuthPromptType &type);
bool isSecret(const AuthPromptType &type);

// Answers a question later, or with no answer when the user cancels.
using PromptAnswer = std::function<void(std::optional<QString>)>;
using PromptPresenter = std::function<void(const PromptRequest &, PromptAnswer)>;
