#include "promptrelay.h"

#include "localized.h"
#include "tunnelinterface.h"

using namespace Qt::StringLiterals;

PromptRelay::PromptRelay(IoVellsshTunnelInterface &tunnel) : m_tunnel(tunnel)
{
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::PromptRequested, &m_receiver,
                     [this](uint id, const QString &uuid, const QString &, const QString &message,
                            bool secret, const QString &remember) {
                         m_questions.append({id, uuid, message, secret, remember});
                         askNext();
                     });
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::PromptWithdrawn, &m_receiver,
                     [this](uint id) { withdrawn(id); });
}

void PromptRelay::setNames(const QHash<QString, QString> &names)
{
    m_names = names;
    askNext();
}

void PromptRelay::withdrawn(uint id)
{
    m_questions.removeIf([&](const Question &q) { return q.id == id; });
    if (m_current != id)
        return;
    m_current.reset();
    m_asker.withdraw(localized("The question was withdrawn: its connection attempt ended."));
    askNext();
}

void PromptRelay::askNext()
{
    if (m_asker.asking() || m_names.isEmpty())
        return;
    m_questions.removeIf([&](const Question &q) { return !m_names.contains(q.uuid); });
    if (m_questions.isEmpty())
        return;
    const Question question = m_questions.takeFirst();
    m_current = question.id;
    m_asker.ask(
        m_names.value(question.uuid) + u": "_s + question.message, question.secret,
        [this, question](const std::optional<QString> &answer) { answered(question, answer); });
}

void PromptRelay::answered(const Question &question, const std::optional<QString> &answer)
{
    if (!answer || question.remember.isEmpty()) {
        send(question.id, answer, false);
        return;
    }
    m_asker.ask(question.remember + u"? [y/N]"_s, false,
                [this, id = question.id, answer](const std::optional<QString> &keep) {
                    send(id, answer,
                         keep.value_or(QString()).trimmed().startsWith(u'y', Qt::CaseInsensitive));
                });
}

void PromptRelay::send(uint id, const std::optional<QString> &answer, bool remember)
{
    m_current.reset();
    m_tunnel.AnswerPrompt(id, answer.value_or(QString()), !answer, remember).waitForFinished();
    askNext();
}
