#include "promptdialogs.h"

#include "promptquestiondialog.h"

void PromptDialogs::Dismiss::operator()(PromptQuestionDialog *dialog) const
{
    dialog->withdraw();
    dialog->deleteLater();
}

PromptDialogs::PromptDialogs(QObject *parent) : QObject(parent) {}

PromptDialogs::~PromptDialogs()
{
    m_dialog.reset();
    std::deque<Question> open = std::exchange(m_waiting, {});
    if (m_current)
        open.push_front(*std::exchange(m_current, std::nullopt));
    for (Question &question : open)
        question.answer(std::nullopt);
}

PromptPresenter PromptDialogs::presenter()
{
    return [self = QPointer(this)](const PromptRequest &request, PromptAnswer answer) {
        if (self)
            self->present(request, std::move(answer));
        else
            answer(std::nullopt);
    };
}

void PromptDialogs::present(const PromptRequest &request, PromptAnswer answer)
{
    // Its run is already over: nobody waits for the answer.
    if (!request.standing)
        return;
    const quint64 id = ++m_nextId;
    connect(request.standing, &QObject::destroyed, this, [this, id] { withdraw(id); });
    m_waiting.push_back({id, request, std::move(answer)});
    showNext();
}

void PromptDialogs::showNext()
{
    if (m_current || m_waiting.empty())
        return;
    m_current = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_dialog.reset(new PromptQuestionDialog(m_current->request));
    connect(m_dialog.get(), &PromptQuestionDialog::answered, this, &PromptDialogs::answerCurrent);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    Q_EMIT dialogShown(m_dialog.get());
}

void PromptDialogs::answerCurrent(const std::optional<PromptReply> &reply)
{
    Question question = *std::exchange(m_current, std::nullopt);
    m_dialog.reset();
    // Answering ends the question's standing, which finds nothing left to withdraw.
    question.answer(reply);
    showNext();
}

void PromptDialogs::withdraw(quint64 id)
{
    if (m_current && m_current->id == id) {
        m_current.reset();
        m_dialog.reset();
        showNext();
        return;
    }
    std::erase_if(m_waiting, [id](const Question &question) { return question.id == id; });
}
