#pragma once

#include "result.h"
#include "sqlitestore.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class HistoryTokenStore;
class ObjectContext;
class PersistentHistoryKit;
class QThread;

// Owns the profile store: opens it, makes the main context and background contexts, and (for a
// store on disk) runs the history service that merges other processes' changes.
class PersistenceController : public QObject
{
    Q_OBJECT

public:
    static inline const QString appAuthor = QStringLiteral("app");
    static inline const QString cliAuthor = QStringLiteral("cli");
    static inline const QString tokenKeyPrefix =
        QStringLiteral("PersistentHistoryTrackingKit.lastToken.");

    // Made only by open(); the key keeps it so.
    class Key
    {
        friend class PersistenceController;
        Key() = default;
    };
    PersistenceController(Key, StoreLocation location, std::unique_ptr<ObjectContext> mainContext);
    ~PersistenceController() override;

    // $XDG_DATA_HOME/VellSSH/VellSSH.sqlite
    static QString defaultStorePath();
    // Opens the store and loads the main context, which writes as the given author.
    static Result<std::unique_ptr<PersistenceController>> open(const StoreLocation &location,
                                                               const QString &author = appAuthor);
    // A store of its own in memory, for tests and previews.
    static Result<std::unique_ptr<PersistenceController>> openInMemory();

    const StoreLocation &location() const { return m_location; }
    ObjectContext *mainContext() const { return m_mainContext.get(); }

    // A loaded context on the calling thread, with its own connection; it writes as "app".
    Result<std::unique_ptr<ObjectContext>> newContext();
    // Runs work on a private thread in a fresh context; its saves reach the main context.
    void performBackgroundTask(const std::function<void(ObjectContext &)> &task);
    // Waits for the background tasks queued so far.
    void waitForBackgroundTasks();

    // Merges transactions of every author outside appAuthors from now on.
    void startHistoryTracking(HistoryTokenStore *tokens, int pollIntervalMs = 200);
    PersistentHistoryKit *historyKit() const { return m_historyKit; }

    // Start-up clean-ups: profiles 30 days in the trash go, and so do tags without a uuid.
    static Status purgeExpiredTrash(ObjectContext &context);
    static Status purgeTagsWithoutUUID(ObjectContext &context);

private:
    void followHistory(ObjectContext *background);

    StoreLocation m_location;
    std::unique_ptr<ObjectContext> m_mainContext;
    PersistentHistoryKit *m_historyKit = nullptr;
    std::unique_ptr<QThread> m_backgroundThread;
    std::unique_ptr<ObjectContext> m_backgroundContext;
    QString m_author;
};
