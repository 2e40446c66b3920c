#pragma once

#include "keychain.h"
#include "promptrequest.h"

#include <QObject>
#include <QThreadPool>

#include <memory>

// Answers a question from the keychain while the client asks it for the first time, asks the
// person from then on (so that a wrong stored answer gets corrected), and keeps what the person
// chose to have remembered. The keychain is reached on one worker thread, in order, so that a
// slow Secret Service never stalls the sessions.
class KeychainPromptPresenter : public QObject
{
    Q_OBJECT

public:
    // Told when an answer the person asked to remember could not be kept, with the reason.
    using Complaint = std::function<void(const PromptRequest &, const QString &)>;

    KeychainPromptPresenter(std::shared_ptr<const Keychain> keychain, PromptPresenter ask,
                            Complaint complain = {}, QObject *parent = nullptr);
    ~KeychainPromptPresenter() override;

    void present(const PromptRequest &request, PromptAnswer answer);

private:
    void ask(const PromptRequest &request, const KeychainItem &item, PromptAnswer answer);
    // Runs work on the worker; its result comes back on this object's thread.
    template<typename Work, typename Then>
    void onWorker(Work work, Then then);

    std::shared_ptr<const Keychain> m_keychain;
    PromptPresenter m_ask;
    Complaint m_complain;
    QThreadPool m_worker;
};
