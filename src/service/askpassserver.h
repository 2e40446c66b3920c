#pragma once

#include "result.h"
#include "uniquefd.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class MessageChannel;
class QSocketNotifier;

// The end of the ask-pass helper's socket in the service: a 0600 socket in a 0700 folder of
// the runtime directory, open to processes of this user that know the run's token. A helper
// sends the token's bytes first, and only a connection that did so has its messages read. Each
// question goes to the application as askPass with the helper's one-time public key, and the
// sealed answer goes back to the helper, which alone can open it: the service never holds an
// answer in the clear, and never loads a crypto library (it runs once per tunnel).
class AskPassServer : public QObject
{
    Q_OBJECT

public:
    explicit AskPassServer(MessageChannel *application, QObject *parent = nullptr);
    ~AskPassServer() override;

    // Listens in "vellssh" of the runtime directory (without one, of /tmp/vellssh-<uid>), after
    // removing the sockets that killed services left there. A folder that is not this user's
    // alone is refused: another user could put a socket of their own in its place.
    Status listen(const QString &runtimeDirectory);
    QString socketPath() const { return m_path; }
    // 32 hex digits, new for each run.
    QByteArray token() const { return m_token; }

    // The client's keyboard-interactive question "(user@host) Question: " in the form the
    // application reads as one: "Answer user@host's question - Question: ".
    static QString relayedPrompt(const QString &clientPrompt);

    // Whether a question is out to the application and has not been answered yet.
    bool isAsking() const { return m_open > 0; }

Q_SIGNALS:
    // The user gave no answer to a password, passphrase or keyboard-interactive question; the
    // client would otherwise send an empty answer and ask again.
    void secretRefused();
    void askingChanged();

private:
    struct Arrival;
    // How long a new connection may take to send the token.
    static constexpr int tokenWaitMs = 10000;

    void accept();
    void readToken(Arrival *arrival);
    void drop(Arrival *arrival);
    void ask(MessageChannel *helper, quint64 id, const QString &prompt, bool confirm,
             const QString &publicKeyPEM);

    MessageChannel *m_application;
    UniqueFd m_listener;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_path;
    QByteArray m_token;
    std::vector<std::unique_ptr<Arrival>> m_arrivals;
    QHash<QString, int> m_attempts;
    int m_open = 0;
};
