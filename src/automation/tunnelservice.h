#pragma once

#include "profileactions.h"
#include "promptrequest.h"

#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class Profile;
class ObjectContext;
class PersistenceController;
class PersistentHistoryKit;
class SessionContainer;
class TunnelSession;

// The io.vellssh.Tunnel interface: scripts, shortcuts and vellssh-cli list, connect and
// disconnect profiles of the running application, follow their states and logs, tag, trash,
// export and import them and open them in Vell Shell.
class TunnelService : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static inline const QString serviceName = QStringLiteral("io.vellssh.Tunnel");
    static inline const QString objectPath = QStringLiteral("/io/vellssh/Tunnel");

    TunnelService(PersistenceController &store, SessionContainer *container,
                  QObject *parent = nullptr);

    // Takes the bus name and exports the object; the reason when another instance holds it.
    QString registerOn(class QDBusConnection &bus);
    // Relays a question to the bus client that started the run. Without one, the question
    // waits for a client that connects the profile, or for its run to end.
    void present(const PromptRequest &request, PromptAnswer answer);
    // Whether a command-line client that asked for this session's connection waits for its
    // questions: the desktop leaves those to it.
    bool hasRequester(const QUuid &session) const;

public Q_SLOTS:
    QList<QVariantMap> ListProfiles();
    QVariantMap Status(const QString &profile);
    QStringList Connect(const QStringList &profiles);
    QStringList Disconnect(const QStringList &profiles);
    QStringList Reconnect(const QStringList &profiles);
    QStringList ConnectByName(const QString &name);
    QStringList DisconnectByName(const QString &name);
    QStringList ConnectWithTag(const QString &tag);
    QStringList DisconnectWithTag(const QString &tag);
    QStringList ConnectAll();
    QStringList DisconnectAll();
    QStringList ConnectPinned();
    QStringList GetStatus(const QStringList &profiles);
    void AddTags(const QStringList &profiles, const QStringList &tags);
    void RemoveTags(const QStringList &profiles, const QStringList &tags);
    void CreateTag(const QString &name);
    void DeleteTags(const QStringList &tags);
    void DeleteProfiles(const QStringList &profiles);
    QString ExportProfiles(const QStringList &profiles, const QString &baseName);
    QString ImportProfiles(const QString &file, bool replace);
    void OpenInShell(const QStringList &profiles);
    QString Log(const QString &profile);
    void AnswerPrompt(uint id, const QString &answer, bool cancelled, bool remember);

Q_SIGNALS:
    void StateChanged(const QString &uuid, const QString &state, const QString &summary);
    void LogLine(const QString &uuid, const QString &line);
    void PromptRequested(uint id, const QString &uuid, const QString &kind, const QString &message,
                         bool secret, const QString &remember);
    void PromptWithdrawn(uint id);

private:
    void readCommittedWrites();
    // Replies with the error under the bus error name of its kind.
    void fail(const Error &error);
    void reply(const ::Status &status);
    QList<Profile *> liveProfiles() const;
    // Resolves references, or replies with an error naming the one that failed.
    std::optional<QList<Profile *>> resolve(const QStringList &references);
    QVariantMap describe(const Profile &profile) const;
    void follow(TunnelSession *session);
    static QStringList uuids(const QList<Profile *> &profiles);
    // The bus client that asked for these runs answers their questions.
    void rememberRequester(const QList<Profile *> &profiles);
    void requesterGone(const QString &name);
    void withdraw(uint id);
    void announceWaiting(const QString &uuid);

    struct Pending
    {
        PromptAnswer answer;
        // Empty while nobody may answer it yet.
        QString requester;
        QString uuid;
        QString kind;
        QString message;
        bool secret = false;
        QString remember;
    };
    void ask(uint id, const Pending &question);

    ObjectContext *m_context;
    PersistentHistoryKit *m_history;
    ProfileActions m_actions;
    SessionContainer *m_container;
    QHash<QString, QString> m_requesters;
    QHash<uint, Pending> m_pending;
    uint m_nextPrompt = 0;
    QDBusServiceWatcher m_watcher;
};
