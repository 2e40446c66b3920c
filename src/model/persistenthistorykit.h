#pragma once

#include "objectchange.h"
#include "transactiondeduplicator.h"

#include <QObject>
#include <QSet>
#include <QTimer>

class HistoryTokenStore;
class ObjectContext;

// Follows the store's history: notices commits of other connections, merges the transactions
// of other authors into the target context (never as undoable steps), de-duplicates what they
// inserted, and remembers the last transaction it handled.
class PersistentHistoryKit : public QObject
{
    Q_OBJECT

public:
    PersistentHistoryKit(ObjectContext *context, const QSet<QString> &appAuthors,
                         HistoryTokenStore *tokens, QObject *parent = nullptr);

    void start(int pollIntervalMs = 200);
    // One pass: fetch the transactions after the last token and merge them.
    void processNewTransactions();
    // Merges at once whatever another connection committed since the last pass, so that a
    // request answered now sees every write that finished before it.
    void catchUp() { poll(); }
    qint64 lastToken() const { return m_lastToken; }

Q_SIGNALS:
    void transactionsMerged(const QList<HistoryTransaction> &transactions);

private:
    void poll();

    ObjectContext *m_context;
    QSet<QString> m_appAuthors;
    HistoryTokenStore *m_tokens;
    VellTransactionDeduplicator m_deduplicator;
    QTimer m_timer;
    qint64 m_lastToken = 0;
    qint64 m_dataVersion = -1;
};
