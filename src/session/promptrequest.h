#pragma once

#include "authprompt.h"

#include <QObject>
#include <QPointer>
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
    // The port the client reported, 22 until it has.
    int port = 22;
    // How often the client has asked this question in this run (1 the first time).
    qint64 attempt = 1;
    QUuid sessionUUID;
    // Goes away when the question can no longer be answered (its run ended, or it was
    // answered): a presenter that keeps a question open withdraws it then.
    QPointer<QObject> standing;
};

// What a person is asked, in the words of the prompt dialogs; a keyboard-interactive question
// is followed by the question itself.
QString promptMessage(const PromptRequest &request);

// Every word of the dialog that asks the question.
struct PromptDialog
{
    QString title;
    // The title, then " — " and the session's name, then " — " and user@host:port, each only
    // when known.
    QString header;
    QString message;
    // The label of the one text field; none for a yes/no question.
    std::optional<QString> field;
    std::optional<QString> rememberBox;
    QString defaultButton;
    QString alternateButton;

    friend bool operator==(const PromptDialog &, const PromptDialog &) = default;
};
PromptDialog promptDialog(const PromptRequest &request);
// "permission", "input", "password", "interactive", "publickey" or "pkcs11".
QString promptKind(const AuthPromptType &type);
bool isSecret(const AuthPromptType &type);
// The status of a session while the question waits for its answer: "Waiting for passphrase"...
QString waitingText(const AuthPromptType &type);

// What a person answered, and whether the answer should be kept for the next time.
struct PromptReply
{
    PromptReply(QString text, bool remember = false) : text(std::move(text)), remember(remember) {}
    QString text;
    bool remember = false;
};

// The text of the box that offers to keep the answer, for the questions whose answers can be
// kept.
std::optional<QString> rememberText(const AuthPromptType &type);

// Answers a question later, or with no answer when the user cancels.
using PromptAnswer = std::function<void(std::optional<PromptReply>)>;
using PromptPresenter = std::function<void(const PromptRequest &, PromptAnswer)>;
