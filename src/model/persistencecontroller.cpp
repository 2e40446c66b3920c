#include "persistencecontroller.h"

#include "objectcontext.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "queries.h"
#include "tag.h"

#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 trashRetentionSeconds = 2'592'000;

} // namespace

PersistenceController::PersistenceController(Key, StoreLocation location,
                                             std::unique_ptr<ObjectContext> mainContext)
    : m_location(std::move(location)), m_mainContext(std::move(mainContext))
{
    m_author = m_mainContext->transactionAuthor();
}

PersistenceController::~PersistenceController()
{
    if (m_backgroundThread) {
        // The context goes home before its thread ends, so that it is destroyed where it lives.
        QThread *home = thread();
        ObjectContext *context = m_backgroundContext.get();
        QMetaObject::invokeMethod(
            context, [context, home] { context->moveToThread(home); },
            Qt::BlockingQueuedConnection);
        m_backgroundThread->quit();
        m_backgroundThread->wait();
    }
}

QString PersistenceController::defaultStorePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/VellSSH/VellSSH.sqlite"_s;
}

Result<std::unique_ptr<PersistenceController>>
PersistenceController::open(const StoreLocation &location, const QString &author)
{
    auto connection = StoreConnection::open(location);
    if (!connection)
        return connection.error();
    auto context = std::make_unique<ObjectContext>(std::move(connection).value(), author);
    if (auto error = context->load())
        return *error;
    context->setUndoEnabled(true);
    context->setReleasesDeletedObjects(true);
    return std::make_unique<PersistenceController>(Key(), location, std::move(context));
}

Result<std::unique_ptr<PersistenceController>> PersistenceController::openInMemory()
{
    return open(StoreLocation::inMemory(u"vellssh-"_s +
                                        QUuid::createUuid().toString(QUuid::WithoutBraces)));
}

Result<std::unique_ptr<ObjectContext>> PersistenceController::newContext()
{
    auto connection = StoreConnection::open(m_location);
    if (!connection)
        return connection.error();
    auto context = std::make_unique<ObjectContext>(std::move(connection).value(), m_author);
    if (auto error = context->load())
        return *error;
    return context;
}

void PersistenceController::performBackgroundTask(const std::function<void(ObjectContext &)> &task)
{
    if (!m_backgroundThread) {
        auto context = newContext();
        if (!context) {
            qWarning("background context: %s", qPrintable(context.error().message));
            return;
        }
        m_backgroundContext = std::move(context).value();
        m_backgroundThread = std::make_unique<QThread>();
        m_backgroundThread->setObjectName(u"io.vellssh.store.background"_s);
        m_backgroundContext->moveToThread(m_backgroundThread.get());
        ObjectContext *main = m_mainContext.get();
        ObjectContext *background = m_backgroundContext.get();
        connect(background, &ObjectContext::didSave, main,
                [main](const QList<ObjectChange> &changes) { (void)main->mergeChanges(changes); });
        connect(main, &ObjectContext::didSave, background,
                [background](const QList<ObjectChange> &changes) {
                    (void)background->mergeChanges(changes);
                });
        if (m_historyKit)
            followHistory(background);
        m_backgroundThread->start();
    }
    ObjectContext *context = m_backgroundContext.get();
    QMetaObject::invokeMethod(context, [context, task] { task(*context); });
}

void PersistenceController::waitForBackgroundTasks()
{
    if (m_backgroundContext)
        QMetaObject::invokeMethod(
            m_backgroundContext.get(), [] {}, Qt::BlockingQueuedConnection);
}

void PersistenceController::startHistoryTracking(HistoryTokenStore *tokens, int pollIntervalMs)
{
    if (m_historyKit || m_location.isInMemory())
        return;
    m_historyKit = new PersistentHistoryKit(m_mainContext.get(), {m_author}, tokens, this);
    if (m_backgroundContext)
        followHistory(m_backgroundContext.get());
    m_historyKit->start(pollIntervalMs);
}

void PersistenceController::followHistory(ObjectContext *background)
{
    connect(m_historyKit, &PersistentHistoryKit::transactionsMerged, background,
            [background](const QList<HistoryTransaction> &transactions) {
                QList<ObjectChange> changes;
                for (const HistoryTransaction &transaction : transactions)
                    changes += transaction.changes;
                (void)background->mergeChanges(changes);
            });
}

Status PersistenceController::purgeExpiredTrash(ObjectContext &context)
{
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-trashRetentionSeconds);
    context.performWithoutUndo([&] {
        // Only expired trash goes: records that no listing shows are not the user's to lose.
        for (Profile *profile : validProfiles(context, false)) {
            if (profile->deletedOn() && *profile->deletedOn() < cutoff)
                context.deleteObject(profile);
        }
    });
    return context.saveIfChanged();
}

Status PersistenceController::purgeTagsWithoutUUID(ObjectContext &context)
{
    context.performWithoutUndo([&] {
        for (Tag *tag : context.tags()) {
            if (!tag->uuid())
                context.deleteObject(tag);
        }
    });
    return context.saveIfChanged();
}
