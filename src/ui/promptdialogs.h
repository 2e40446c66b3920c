#pragma once

#include "promptrequest.h"

#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>

class PromptQuestionDialog;

// Asks the questions of client runs in dialogs, for the whole application.
//
// One question is on screen at a time; the others wait in the order they came. Several tunnels
// that start together (auto-connect, "Connect All") would otherwise open a pile of windows
// that take the keyboard from one another, and a dialog that appears while the user types
// would catch a secret meant for another tunnel. Every dialog names its profile in its header,
// so the queue never leaves the user guessing which tunnel asks. A question whose run ends
// leaves the screen or the queue by itself, and the next one takes its place.
//
// The dialogs are windows of their own, modal to nothing: the rest of the application keeps
// working while a question waits, and each dialog raises itself when it appears.
class PromptDialogs : public QObject
{
    Q_OBJECT

public:
    explicit PromptDialogs(QObject *parent = nullptr);
    // Questions still open are cancelled.
    ~PromptDialogs() override;

    void present(const PromptRequest &request, PromptAnswer answer);
    // For VellAppDelegate::setPromptPresenter; it cancels questions once this object is gone.
    PromptPresenter presenter();

    PromptQuestionDialog *currentDialog() const { return m_dialog.get(); }
    // The questions behind the one on screen.
    qsizetype waitingCount() const { return qsizetype(m_waiting.size()); }

Q_SIGNALS:
    void dialogShown(PromptQuestionDialog *dialog);

private:
    struct Question
    {
        quint64 id = 0;
        PromptRequest request;
        PromptAnswer answer;
    };
    // Hidden at once, deleted once the event that closed it has been handled.
    struct Dismiss
    {
        void operator()(PromptQuestionDialog *dialog) const;
    };

    void showNext();
    void answerCurrent(const std::optional<PromptReply> &reply);
    void withdraw(quint64 id);

    std::deque<Question> m_waiting;
    std::optional<Question> m_current;
    std::unique_ptr<PromptQuestionDialog, Dismiss> m_dialog;
    quint64 m_nextId = 0;
};
