#include "keychainpromptpresenter.h"

#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcKeychain, "io.vellssh.keychain")

KeychainPromptPresenter::KeychainPromptPresenter(std::shared_ptr<const Keychain> keychain,
                                                 PromptPresenter ask, Complaint complain,
                                                 QObject *parent)
    : QObject(parent), m_keychain(std::move(keychain)), m_ask(std::move(ask)),
      m_complain(std::move(complain))
{
    m_worker.setMaxThreadCount(1);
}

KeychainPromptPresenter::~KeychainPromptPresenter()
{
    m_worker.clear();
    m_worker.waitForDone();
}

template<typename Work, typename Then>
void KeychainPromptPresenter::onWorker(Work work, Then then)
{
    m_worker.start([self = QPointer(this), work = std::move(work),
                    then = std::move(then)]() mutable {
        auto result = work();
        QMetaObject::invokeMethod(
            self, [then = std::move(then), result = std::move(result)]() mutable { then(result); },
            Qt::QueuedConnection);
    });
}

void KeychainPromptPresenter::present(const PromptRequest &request, PromptAnswer answer)
{
    const std::optional<KeychainItem> item = keychainItem(request);
    if (!item) {
        m_ask(request, std::move(answer));
        return;
    }
    if (request.attempt >= 2) {
        ask(request, *item, std::move(answer));
        return;
    }
    onWorker([keychain = m_keychain, item = *item] { return keychain->find(item); },
             [this, request, item = *item,
              answer = std::move(answer)](const std::optional<QString> &stored) mutable {
                 if (stored)
                     answer(PromptReply(*stored));
                 else
                     ask(request, item, std::move(answer));
             });
}

void KeychainPromptPresenter::ask(const PromptRequest &request, const KeychainItem &item,
                                  PromptAnswer answer)
{
    m_ask(request, [this, self = QPointer(this), request, item,
                    answer = std::move(answer)](std::optional<PromptReply> reply) {
        if (self && reply && reply->remember) {
            onWorker([keychain = m_keychain, item,
                      secret = reply->text] { return keychain->store(item, secret); },
                     [this, request](const Status &problem) {
                         if (!problem)
                             return;
                         qCWarning(lcKeychain).noquote() << problem->message;
                         if (m_complain)
                             m_complain(request, problem->message);
                     });
        }
        answer(std::move(reply));
    });
}
