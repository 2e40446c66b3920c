#pragma once

#include "objectchange.h"
#include "records.h"
#include "result.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// Where a store lives: a file, or a named in-memory database shared by the connections of one
// process (for tests and tools that must not touch the disk).
struct StoreLocation
{
    QString filePath;
    QString memoryName;

    static StoreLocation file(const QString &path) { return {path, {}}; }
    static StoreLocation inMemory(const QString &name) { return {{}, name}; }
    bool isInMemory() const { return !memoryName.isEmpty(); }
    QString displayName() const;
};

struct ProfileRow
{
    qint64 id = 0;
    ProfileData data;
};
struct ForwardingRow
{
    qint64 id = 0;
    ForwardingData data;
    qint64 profileId = 0;
};
struct TagRow
{
    qint64 id = 0;
    TagData data;
    qint64 parentId = 0;
};
struct ProfileTagLink
{
    qint64 profileId = 0;
    qint64 tagId = 0;
};

struct StoreContents
{
    QList<ProfileRow> profiles;
    QList<ForwardingRow> forwardings;
    QList<TagRow> tags;
    QList<ProfileTagLink> links;
    // The newest history transaction that these rows include.
    qint64 historyToken = 0;
};

class Statement;

// One SQLite connection to the store. Each object context owns one; it is used from one thread.
class StoreConnection
{
public:
    static constexpr int schemaVersion = 1;

    // Made only by open(); the key keeps it so.
    class Key
    {
        friend class StoreConnection;
        Key() = default;
    };
    StoreConnection(Key, sqlite3 *db, StoreLocation location);
    ~StoreConnection();
    StoreConnection(const StoreConnection &) = delete;
    StoreConnection &operator=(const StoreConnection &) = delete;

    // Opens the store, creating the file (mode 0600) and its folder when missing, and brings the
    // schema up to date. A file that is not a store of ours is reported and left untouched.
    static Result<std::unique_ptr<StoreConnection>> open(const StoreLocation &location);

    const StoreLocation &location() const { return m_location; }

    Result<StoreContents> readAll();
    Result<QList<ProfileRow>> readProfiles(const QList<qint64> &ids);
    Result<QList<ForwardingRow>> readForwardings(const QList<qint64> &ids);
    Result<QList<TagRow>> readTags(const QList<qint64> &ids);
    Result<QList<ProfileTagLink>> readProfileTags(const QList<qint64> &profileIds);

    Result<qint64> insertProfile(const ProfileData &data);
    Result<qint64> insertForwarding(const ForwardingData &data, qint64 profileId);
    Result<qint64> insertTag(const TagData &data);
    Status updateProfile(qint64 id, const ProfileData &data, AttributeMask mask);
    Status updateForwarding(qint64 id, const ForwardingData &data, AttributeMask mask);
    Status updateTag(qint64 id, const TagData &data, AttributeMask mask);
    Status setForwardingProfile(qint64 id, qint64 profileId);
    Status setTagParent(qint64 id, qint64 parentId);
    Status setProfileTags(qint64 profileId, const QList<qint64> &tagIds);
    Status deleteRow(Entity entity, qint64 id);
    Result<qint64> writeHistory(const QString &author, const QList<ObjectChange> &changes);

    // Changes whenever another connection commits to the store.
    Result<qint64> dataVersion();
    Result<qint64> lastHistoryToken();
    Result<QList<HistoryTransaction>> historyAfter(qint64 token, const QSet<QString> &skipAuthors);
    Status pruneHistory(qint64 olderThanMs, qint64 upToToken);

    Status execute(const char *sql);
    Error errorFor(int code, const QString &action) const;

private:
    friend class SqlTransaction;

    static Status createStore(const QString &path);
    static Result<std::unique_ptr<StoreConnection>> connect(const StoreLocation &location,
                                                            const QByteArray &uri, int flags);
    Status configure();
    Status migrate();
    // Only a SqlTransaction begins and ends transactions, so that each one that begins ends.
    Status beginTransaction(bool immediate);
    Status commitTransaction();
    void rollbackTransaction();
    Result<Statement *> prepared(const QString &sql);
    Result<qint64> singleInteger(const QString &sql);
    Status setReference(const char *table, const char *column, qint64 id, qint64 target);
    // Runs a statement that changes the store.
    Status write(Statement *statement);
    template<class Data>
    Result<qint64> insertRow(const char *table, const Data &data, const char *extraColumn,
                             qint64 extraValue);
    template<class Data>
    Status updateRow(const char *table, qint64 id, const Data &data, AttributeMask mask);
    template<class Row, class Read>
    Result<QList<Row>> readByIds(const char *sql, const QList<qint64> &ids, Read read);

    sqlite3 *m_db = nullptr;
    StoreLocation m_location;
    QHash<QString, std::shared_ptr<Statement>> m_statements;
};
