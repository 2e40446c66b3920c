#include "persistenthistorykit.h"

#include "historytokenstore.h"
#include "objectcontext.h"
#include "sqlitestore.h"

#include <QDateTime>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace {

// Merged history is kept a while for whatever else follows the store (the sync mirror).
constexpr qint64 historyRetentionMs = 30LL * 24 * 3600 * 1000;

} // namespace

PersistentHistoryKit::PersistentHistoryKit(ObjectContext *context, const QSet<QString> &appAuthors,
                                           HistoryTokenStore *tokens, QObject *parent)
    : QObject(parent), m_context(context), m_appAuthors(appAuthors), m_tokens(tokens)
{
    connect(&m_timer, &QTimer::timeout, this, &PersistentHistoryKit::poll);
}

void PersistentHistoryKit::start(int pollIntervalMs)
{
    auto newest = m_context->connection().lastHistoryToken();
    const qint64 newestToken = newest ? *newest : 0;
    // Without a remembered position, the freshly loaded context already holds everything. A
    // position beyond the newest transaction belongs to a store that was replaced.
    const std::optional<qint64> remembered = m_tokens->lastToken();
    m_lastToken = remembered && *remembered <= newestToken ? *remembered : newestToken;
    if (!remembered || *remembered != m_lastToken)
        m_tokens->setLastToken(m_lastToken);
    const qint64 cutoff = QDateTime::currentMSecsSinceEpoch() - historyRetentionMs;
    if (auto error = m_context->connection().pruneHistory(cutoff, m_lastToken))
        qCWarning(lcStore) << "cleaning the store history failed:" << error->message;
    processNewTransactions();
    m_timer.start(pollIntervalMs);
}

void PersistentHistoryKit::poll()
{
    // data_version only moves when another connection commits; most polls end here.
    auto version = m_context->connection().dataVersion();
    if (!version || *version == m_dataVersion)
        return;
    m_dataVersion = *version;
    processNewTransactions();
}

void PersistentHistoryKit::processNewTransactions()
{
    auto transactions = m_context->connection().historyAfter(m_lastToken, {});
    if (!transactions) {
        qCWarning(lcStore) << "reading the store history failed:" << transactions.error().message;
        return;
    }
    if (transactions->isEmpty())
        return;
    const qint64 newest = transactions->last().token;
    QList<HistoryTransaction> outside;
    QList<ObjectChange> changes;
    for (const HistoryTransaction &transaction : std::as_const(*transactions)) {
        if (m_appAuthors.contains(transaction.author))
            continue;
        outside.append(transaction);
        changes += transaction.changes;
    }
    if (!outside.isEmpty()) {
        if (auto error = m_context->mergeChanges(changes)) {
            qCWarning(lcStore) << "merging outside changes failed:" << error->message;
            return;
        }
        m_deduplicator.deduplicate(outside, {m_context});
    }
    m_context->noteMergedHistory(newest);
    m_lastToken = newest;
    m_tokens->setLastToken(newest);
    if (!outside.isEmpty())
        Q_EMIT transactionsMerged(outside);
}
