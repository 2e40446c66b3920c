#include "sqlitestore.h"

#include "localized.h"
#include "privatefiles.h"
#include "sqltransaction.h"
#include "uuidtext.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcStore, "io.vellssh.store")

QString entityName(Entity entity)
{
    switch (entity) {
    case Entity::profile:
        return u"Profile"_s;
    case Entity::forwarding:
        return u"Forwarding"_s;
    case Entity::tag:
        return u"Tag"_s;
    }
    return {};
}

std::optional<Entity> entityFromName(const QString &name)
{
    for (Entity entity : {Entity::profile, Entity::forwarding, Entity::tag}) {
        if (entityName(entity) == name)
            return entity;
    }
    return std::nullopt;
}

QString StoreLocation::displayName() const
{
    return isInMemory() ? u"(memory) "_s + memoryName : filePath;
}

// A prepared statement, reset after every use and kept by its connection.
class Statement
{
public:
    explicit Statement(sqlite3_stmt *statement) : m_statement(statement) {}
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    sqlite3_stmt *handle() const { return m_statement; }
    void reset()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    void bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }
    void bind(int index, qint32 value) { bind(index, qint64(value)); }
    void bind(int index, qint16 value) { bind(index, qint64(value)); }
    void bind(int index, bool value) { bind(index, qint64(value ? 1 : 0)); }
    void bind(int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, const QUuid &value) { bind(index, uuidText(value)); }
    void bind(int index, const QJsonObject &value)
    {
        bind(index, QString::fromUtf8(QJsonDocument(value).toJson(QJsonDocument::Compact)));
    }
    void bind(int index, const QDateTime &value) { bind(index, value.toMSecsSinceEpoch()); }
    template<class T>
    void bind(int index, const std::optional<T> &value)
    {
        if (value)
            bind(index, *value);
        else
            sqlite3_bind_null(m_statement, index);
    }

    bool isNull(int column) const
    {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }
    qint64 int64(int column) const { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const
    {
        const auto *bytes =
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
    }

    void read(int column, qint32 &value) const { value = qint32(int64(column)); }
    void read(int column, qint16 &value) const { value = qint16(int64(column)); }
    void read(int column, bool &value) const { value = int64(column) != 0; }
    void read(int column, std::optional<QString> &value) const
    {
        value = isNull(column) ? std::nullopt : std::optional(text(column));
    }
    void read(int column, std::optional<QUuid> &value) const
    {
        value = std::nullopt;
        if (!isNull(column)) {
            value = uuidFromText(text(column));
        }
    }
    void read(int column, std::optional<QJsonObject> &value) const
    {
        value = std::nullopt;
        if (isNull(column))
            return;
        const QJsonDocument document = QJsonDocument::fromJson(text(column).toUtf8());
        if (document.isObject())
            value = document.object();
    }
    void read(int column, std::optional<QDateTime> &value) const
    {
        value = isNull(column) ? std::nullopt
                               : std::optional(QDateTime::fromMSecsSinceEpoch(int64(column)));
    }

private:
    sqlite3_stmt *m_statement;
};

namespace {

// Version n of the schema is reached by running steps[n - 1] on version n - 1. A new version
// appends a step; nothing already released is ever changed.
const char *const migrationSteps[] = {
    R"(
    CREATE TABLE profile (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        uuid TEXT, name TEXT, address TEXT, port INTEGER NOT NULL DEFAULT 0, "user" TEXT,
        privateKeyName TEXT, certificateName TEXT, options TEXT, shellOptions TEXT,
        infoDictionary TEXT, autoConnect INTEGER NOT NULL DEFAULT 0,
        retryAttempts INTEGER NOT NULL DEFAULT 0, logToFile INTEGER NOT NULL DEFAULT 0,
        logFilePath TEXT, note TEXT, priority INTEGER NOT NULL DEFAULT 0, deletedOn INTEGER);
    CREATE TABLE forwarding (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        uuid TEXT, type INTEGER NOT NULL DEFAULT 0, enabled INTEGER NOT NULL DEFAULT 1,
        bindAddress TEXT, bindPort INTEGER NOT NULL DEFAULT 0, targetAddress TEXT,
        targetPort INTEGER NOT NULL DEFAULT 0, note TEXT, priority INTEGER NOT NULL DEFAULT 0,
        profile INTEGER REFERENCES profile(id) ON DELETE CASCADE);
    CREATE INDEX forwarding_profile ON forwarding(profile);
    CREATE TABLE tag (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        uuid TEXT, name TEXT,
        parent INTEGER REFERENCES tag(id) ON DELETE SET NULL);
    CREATE TABLE profile_tag (
        profile INTEGER NOT NULL REFERENCES profile(id) ON DELETE CASCADE,
        tag INTEGER NOT NULL REFERENCES tag(id) ON DELETE CASCADE,
        PRIMARY KEY (profile, tag)) WITHOUT ROWID;
    CREATE INDEX profile_tag_tag ON profile_tag(tag);
    CREATE TABLE history_transaction (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        author TEXT NOT NULL, timestamp INTEGER NOT NULL);
    CREATE TABLE history_change (
        transaction_id INTEGER NOT NULL REFERENCES history_transaction(id) ON DELETE CASCADE,
        entity TEXT NOT NULL, object INTEGER NOT NULL, uuid TEXT, type INTEGER NOT NULL,
        attributes TEXT NOT NULL DEFAULT '');
    CREATE INDEX history_change_transaction ON history_change(transaction_id);
    )",
};
static_assert(std::size(migrationSteps) == StoreConnection::schemaVersion);

const char *tableName(Entity entity)
{
    switch (entity) {
    case Entity::profile:
        return "profile";
    case Entity::forwarding:
        return "forwarding";
    case Entity::tag:
        return "tag";
    }
    return "";
}

template<class Data>
QString columnList()
{
    QStringList columns;
    forEachMember<Data>(
        [&](int, auto member) { columns.append(u'"' + QString::fromLatin1(member.name) + u'"'); });
    return columns.join(u", "_s);
}

template<class Data>
void readColumns(const Statement &statement, int firstColumn, Data &data)
{
    forEachMember<Data>(
        [&](int index, auto member) { statement.read(firstColumn + index, data.*member.pointer); });
}

QString idArray(const QList<qint64> &ids)
{
    QJsonArray array;
    for (qint64 id : ids)
        array.append(id);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// A store file of no bytes is never one that we made (see createStore): a disk that filled up
// or a copy cut short left it. Opening it would silently give an empty store.
Status checkNotEmpty(const QString &path)
{
    struct stat file = {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0 || file.st_size != 0)
        return std::nullopt;
    struct stat wal = {};
    if (::stat(QFile::encodeName(path + u"-wal"_s).constData(), &wal) == 0 && wal.st_size > 0)
        return std::nullopt;
    return Error{localized("The profile store “%1” is empty (0 bytes): it was cut short, by a "
                           "full disk or an interrupted copy. It was left as it is; restore it "
                           "from a backup, or move it away to start with a new store.")
                     .arg(path)};
}

} // namespace

// A new store is made complete under a name of its own, mode 0600, and only then linked to its
// place, so that no process ever sees a half-made store (and none is ever made with a wider
// mode). Nothing here opens the real store file: closing a descriptor of a file drops every
// lock this process holds on it, and the store's other connections would lose theirs.
Status StoreConnection::createStore(const QString &path)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        return Error{localized("The folder “%1” cannot be created.").arg(info.absolutePath())};
    }
    if (info.exists())
        return createPrivateFile(path);
    const QString fresh = path + u".new-"_s + QString::number(::getpid()) + u'-' +
                          QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QByteArray freshName = QFile::encodeName(fresh);
    const int fd = ::open(freshName.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error{
            localized("The profile store “%1” cannot be created: %2").arg(path, systemReason())};
    }
    ::close(fd);
    auto removeFresh = qScopeGuard([&] { ::unlink(freshName.constData()); });
    {
        auto made =
            connect(StoreLocation::file(fresh), "file:" + QUrl::toPercentEncoding(fresh, "/"),
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI);
        if (!made)
            return made.error();
    }
    if (::link(freshName.constData(), QFile::encodeName(path).constData()) != 0 &&
        errno != EEXIST) {
        return Error{
            localized("The profile store “%1” cannot be created: %2").arg(path, systemReason())};
    }
    return std::nullopt;
}

StoreConnection::StoreConnection(Key, sqlite3 *db, StoreLocation location)
    : m_db(db), m_location(std::move(location))
{}

StoreConnection::~StoreConnection()
{
    m_statements.clear();
    sqlite3_close_v2(m_db);
}

Error StoreConnection::errorFor(int code, const QString &action) const
{
    const QString where = m_location.displayName();
    const QString detail = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
    switch (code & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Error{localized("The profile store “%1” is damaged or is not a VellSSH store (%2). "
                               "It was left as it is.")
                         .arg(where, detail),
                     {},
                     code};
    case SQLITE_FULL:
        return Error{localized("The disk is full: %1 failed and nothing was changed.").arg(action),
                     {},
                     code};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Error{localized("The profile store “%1” is locked by another program: %2 failed. "
                               "Try again in a moment.")
                         .arg(where, action),
                     {},
                     code};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return Error{localized("The profile store “%1” cannot be opened for writing (%2).")
                         .arg(where, detail),
                     {},
                     code};
    default:
        return Error{localized("The profile store “%1” could not be read or written: %2 failed "
                               "(%3).")
                         .arg(where, action, detail),
                     {},
                     code};
    }
}

Result<std::unique_ptr<StoreConnection>> StoreConnection::open(const StoreLocation &location)
{
    QByteArray uri;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    if (location.isInMemory()) {
        uri = "file:" + QUrl::toPercentEncoding(location.memoryName) + "?mode=memory&cache=shared";
        flags |= SQLITE_OPEN_CREATE;
    } else {
        if (QFileInfo(location.filePath).isDir()) {
            return Error{localized("The profile store “%1” is a folder, not a file.")
                             .arg(location.filePath)};
        }
        if (auto error = createStore(location.filePath))
            return *error;
        if (auto error = checkNotEmpty(location.filePath))
            return *error;
        uri = "file:" + QUrl::toPercentEncoding(location.filePath, "/");
    }
    return connect(location, uri, flags);
}

Result<std::unique_ptr<StoreConnection>> StoreConnection::connect(const StoreLocation &location,
                                                                  const QByteArray &uri, int flags)
{
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &db, flags, nullptr);
    auto connection = std::make_unique<StoreConnection>(Key(), db, location);
    if (rc != SQLITE_OK)
        return connection->errorFor(rc, localized("opening the store"));
    if (auto error = connection->configure())
        return *error;
    if (auto error = connection->migrate())
        return *error;
    return connection;
}

Status StoreConnection::configure()
{
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    if (auto error = execute("PRAGMA foreign_keys = ON"))
        return error;
    if (m_location.isInMemory())
        return std::nullopt;
    // The first real read of the file: a file that is not a database fails here, and nothing
    // has been written to it yet.
    if (auto error = execute("PRAGMA journal_mode = WAL"))
        return error;
    return execute("PRAGMA synchronous = NORMAL");
}

Status StoreConnection::migrate()
{
    auto version = prepared(u"PRAGMA user_version"_s);
    if (!version)
        return version.error();
    sqlite3_step((*version)->handle());
    const int current = int((*version)->int64(0));
    (*version)->reset();

    if (current > schemaVersion) {
        return Error{localized("The profile store “%1” was written by a newer VellSSH (schema %2). "
                               "It was left as it is.")
                         .arg(m_location.displayName())
                         .arg(current)};
    }
    if (current == schemaVersion)
        return std::nullopt;

    auto transaction = SqlTransaction::begin(*this, SqlTransaction::Kind::write);
    if (!transaction)
        return transaction.error();
    for (int step = current; step < schemaVersion; ++step) {
        if (auto error = execute(migrationSteps[step]))
            return error;
    }
    const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(schemaVersion);
    if (auto error = execute(setVersion.constData()))
        return error;
    return transaction->commit();
}

Status StoreConnection::execute(const char *sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK)
        return errorFor(rc, localized("a store operation"));
    return std::nullopt;
}

Result<Statement *> StoreConnection::prepared(const QString &sql)
{
    if (auto it = m_statements.constFind(sql); it != m_statements.cend()) {
        (*it)->reset();
        return it->get();
    }
    sqlite3_stmt *handle = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(m_db, utf8.constData(), int(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &handle, nullptr);
    if (rc != SQLITE_OK)
        return errorFor(rc, localized("reading the store"));
    auto statement = std::make_shared<Statement>(handle);
    m_statements.insert(sql, statement);
    return statement.get();
}

namespace {

// Steps a statement that returns no rows.
int run(Statement *statement)
{
    const int rc = sqlite3_step(statement->handle());
    statement->reset();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

} // namespace

Status StoreConnection::write(Statement *statement)
{
    if (const int rc = run(statement); rc != SQLITE_OK)
        return errorFor(rc, localized("saving"));
    return std::nullopt;
}

Status StoreConnection::beginTransaction(bool immediate)
{
    return execute(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Status StoreConnection::commitTransaction()
{
    if (const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK)
        return errorFor(rc, localized("saving"));
    return std::nullopt;
}

// Some failures (a full disk, an interrupted write) end the transaction by themselves.
void StoreConnection::rollbackTransaction()
{
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

template<class Row, class Read>
Result<QList<Row>> StoreConnection::readByIds(const char *sql, const QList<qint64> &ids, Read read)
{
    QList<Row> rows;
    if (ids.isEmpty())
        return rows;
    auto statement = prepared(QString::fromLatin1(sql));
    if (!statement)
        return statement.error();
    (*statement)->bind(1, idArray(ids));
    int rc;
    while ((rc = sqlite3_step((*statement)->handle())) == SQLITE_ROW)
        rows.append(read(**statement));
    (*statement)->reset();
    if (rc != SQLITE_DONE)
        return errorFor(rc, localized("reading the store"));
    return rows;
}

namespace {

ProfileRow readProfileRow(const Statement &statement)
{
    ProfileRow row;
    row.id = statement.int64(0);
    readColumns(statement, 1, row.data);
    return row;
}

ForwardingRow readForwardingRow(const Statement &statement)
{
    ForwardingRow row;
    row.id = statement.int64(0);
    row.profileId = statement.int64(1);
    readColumns(statement, 2, row.data);
    return row;
}

TagRow readTagRow(const Statement &statement)
{
    TagRow row;
    row.id = statement.int64(0);
    row.parentId = statement.int64(1);
    readColumns(statement, 2, row.data);
    return row;
}

ProfileTagLink readLink(const Statement &statement)
{
    return {statement.int64(0), statement.int64(1)};
}

QByteArray selectProfiles()
{
    return "SELECT id, " + columnList<ProfileData>().toUtf8() + " FROM profile";
}
QByteArray selectForwardings()
{
    return "SELECT id, profile, " + columnList<ForwardingData>().toUtf8() + " FROM forwarding";
}
QByteArray selectTags()
{
    return "SELECT id, parent, " + columnList<TagData>().toUtf8() + " FROM tag";
}
const char *const byIds = " WHERE id IN (SELECT value FROM json_each(?))";

} // namespace

Result<StoreContents> StoreConnection::readAll()
{
    StoreContents contents;
    auto readTable = [this](const QByteArray &sql, auto read, auto &rows) -> Status {
        auto statement = prepared(QString::fromUtf8(sql));
        if (!statement)
            return statement.error();
        int rc;
        while ((rc = sqlite3_step((*statement)->handle())) == SQLITE_ROW)
            rows.append(read(**statement));
        (*statement)->reset();
        if (rc != SQLITE_DONE)
            return errorFor(rc, localized("reading the store"));
        return std::nullopt;
    };
    // One read transaction, so that the four tables agree with each other. It writes nothing,
    // so it ends rolled back.
    auto transaction = SqlTransaction::begin(*this, SqlTransaction::Kind::read);
    if (!transaction)
        return transaction.error();
    if (auto error = readTable(selectProfiles(), readProfileRow, contents.profiles))
        return *error;
    if (auto error = readTable(selectForwardings(), readForwardingRow, contents.forwardings))
        return *error;
    if (auto error = readTable(selectTags(), readTagRow, contents.tags))
        return *error;
    if (auto error = readTable("SELECT profile, tag FROM profile_tag", readLink, contents.links))
        return *error;
    auto token = lastHistoryToken();
    if (!token)
        return token.error();
    contents.historyToken = *token;
    return contents;
}

Result<QList<ProfileRow>> StoreConnection::readProfiles(const QList<qint64> &ids)
{
    return readByIds<ProfileRow>((selectProfiles() + byIds).constData(), ids, readProfileRow);
}

Result<QList<ForwardingRow>> StoreConnection::readForwardings(const QList<qint64> &ids)
{
    return readByIds<ForwardingRow>((selectForwardings() + byIds).constData(), ids,
                                    readForwardingRow);
}

Result<QList<TagRow>> StoreConnection::readTags(const QList<qint64> &ids)
{
    return readByIds<TagRow>((selectTags() + byIds).constData(), ids, readTagRow);
}

Result<QList<ProfileTagLink>> StoreConnection::readProfileTags(const QList<qint64> &profileIds)
{
    return readByIds<ProfileTagLink>(
        "SELECT profile, tag FROM profile_tag WHERE profile IN (SELECT value FROM json_each(?))",
        profileIds, readLink);
}

template<class Data>
Result<qint64> StoreConnection::insertRow(const char *table, const Data &data,
                                          const char *extraColumn, qint64 extraValue)
{
    QString sql = u"INSERT INTO "_s + QLatin1StringView(table) + u" ("_s + columnList<Data>();
    QString values = u"?"_s.repeated(1);
    for (int i = 1; i < attributeCount<Data>; ++i)
        values += u", ?"_s;
    if (extraColumn) {
        sql += u", "_s + QLatin1StringView(extraColumn);
        values += u", ?"_s;
    }
    sql += u") VALUES ("_s + values + u')';
    auto statement = prepared(sql);
    if (!statement)
        return statement.error();
    forEachMember<Data>(
        [&](int index, auto member) { (*statement)->bind(index + 1, data.*member.pointer); });
    if (extraColumn) {
        if (extraValue)
            (*statement)->bind(attributeCount<Data> + 1, extraValue);
        else
            sqlite3_bind_null((*statement)->handle(), attributeCount<Data> + 1);
    }
    if (auto error = write(*statement))
        return *error;
    return qint64(sqlite3_last_insert_rowid(m_db));
}

template<class Data>
Status StoreConnection::updateRow(const char *table, qint64 id, const Data &data,
                                  AttributeMask mask)
{
    QStringList assignments;
    forEachMember<Data>([&](int index, auto member) {
        if (mask & (AttributeMask(1) << index))
            assignments.append(u'"' + QString::fromLatin1(member.name) + u"\" = ?"_s);
    });
    if (assignments.isEmpty())
        return std::nullopt;
    const QString sql = u"UPDATE "_s + QLatin1StringView(table) + u" SET "_s +
                        assignments.join(u", "_s) + u" WHERE id = ?"_s;
    auto statement = prepared(sql);
    if (!statement)
        return statement.error();
    int column = 1;
    forEachMember<Data>([&](int index, auto member) {
        if (mask & (AttributeMask(1) << index))
            (*statement)->bind(column++, data.*member.pointer);
    });
    (*statement)->bind(column, id);
    if (auto error = write(*statement))
        return error;
    return std::nullopt;
}

Result<qint64> StoreConnection::insertProfile(const ProfileData &data)
{
    return insertRow("profile", data, nullptr, 0);
}

Result<qint64> StoreConnection::insertForwarding(const ForwardingData &data, qint64 profileId)
{
    return insertRow("forwarding", data, "profile", profileId);
}

Result<qint64> StoreConnection::insertTag(const TagData &data)
{
    return insertRow("tag", data, nullptr, 0);
}

Status StoreConnection::updateProfile(qint64 id, const ProfileData &data, AttributeMask mask)
{
    return updateRow("profile", id, data, mask);
}

Status StoreConnection::updateForwarding(qint64 id, const ForwardingData &data, AttributeMask mask)
{
    return updateRow("forwarding", id, data, mask);
}

Status StoreConnection::updateTag(qint64 id, const TagData &data, AttributeMask mask)
{
    return updateRow("tag", id, data, mask);
}

namespace {

void bindIdOrNull(Statement *statement, int index, qint64 id)
{
    if (id)
        statement->bind(index, id);
    else
        sqlite3_bind_null(statement->handle(), index);
}

} // namespace

Status StoreConnection::setReference(const char *table, const char *column, qint64 id,
                                     qint64 target)
{
    auto statement = prepared(u"UPDATE "_s + QLatin1StringView(table) + u" SET "_s +
                              QLatin1StringView(column) + u" = ? WHERE id = ?"_s);
    if (!statement)
        return statement.error();
    bindIdOrNull(*statement, 1, target);
    (*statement)->bind(2, id);
    return write(*statement);
}

Status StoreConnection::setForwardingProfile(qint64 id, qint64 profileId)
{
    return setReference("forwarding", "profile", id, profileId);
}

Status StoreConnection::setTagParent(qint64 id, qint64 parentId)
{
    return setReference("tag", "parent", id, parentId);
}

Status StoreConnection::setProfileTags(qint64 profileId, const QList<qint64> &tagIds)
{
    auto clear = prepared(u"DELETE FROM profile_tag WHERE profile = ?"_s);
    if (!clear)
        return clear.error();
    (*clear)->bind(1, profileId);
    if (auto error = write(*clear))
        return error;
    auto insert = prepared(u"INSERT OR IGNORE INTO profile_tag (profile, tag) VALUES (?, ?)"_s);
    if (!insert)
        return insert.error();
    for (qint64 tagId : tagIds) {
        (*insert)->bind(1, profileId);
        (*insert)->bind(2, tagId);
        if (auto error = write(*insert))
            return error;
    }
    return std::nullopt;
}

Status StoreConnection::deleteRow(Entity entity, qint64 id)
{
    auto statement =
        prepared(u"DELETE FROM "_s + QLatin1StringView(tableName(entity)) + u" WHERE id = ?"_s);
    if (!statement)
        return statement.error();
    (*statement)->bind(1, id);
    if (auto error = write(*statement))
        return error;
    return std::nullopt;
}

Result<qint64> StoreConnection::writeHistory(const QString &author,
                                             const QList<ObjectChange> &changes)
{
    auto transaction =
        prepared(u"INSERT INTO history_transaction (author, timestamp) VALUES (?, ?)"_s);
    if (!transaction)
        return transaction.error();
    (*transaction)->bind(1, author);
    (*transaction)->bind(2, QDateTime::currentMSecsSinceEpoch());
    if (auto error = write(*transaction))
        return *error;
    const qint64 token = sqlite3_last_insert_rowid(m_db);

    auto change = prepared(u"INSERT INTO history_change (transaction_id, entity, object, uuid, "
                           "type, attributes) VALUES (?, ?, ?, ?, ?, ?)"_s);
    if (!change)
        return change.error();
    for (const ObjectChange &c : changes) {
        (*change)->bind(1, token);
        (*change)->bind(2, entityName(c.entity));
        (*change)->bind(3, c.objectId);
        (*change)->bind(4, c.uuid);
        (*change)->bind(5, qint64(c.type));
        (*change)->bind(6, c.attributes.join(u','));
        if (auto error = write(*change))
            return *error;
    }
    return token;
}

Result<qint64> StoreConnection::singleInteger(const QString &sql)
{
    auto statement = prepared(sql);
    if (!statement)
        return statement.error();
    const int rc = sqlite3_step((*statement)->handle());
    const qint64 value = (*statement)->int64(0);
    (*statement)->reset();
    if (rc != SQLITE_ROW)
        return errorFor(rc, localized("reading the store"));
    return value;
}

Result<qint64> StoreConnection::dataVersion()
{
    return singleInteger(u"PRAGMA data_version"_s);
}

Result<qint64> StoreConnection::lastHistoryToken()
{
    return singleInteger(u"SELECT COALESCE(MAX(id), 0) FROM history_transaction"_s);
}

Result<QList<HistoryTransaction>> StoreConnection::historyAfter(qint64 token,
                                                                const QSet<QString> &skipAuthors)
{
    auto statement = prepared(
        u"SELECT t.id, t.author, t.timestamp, c.entity, c.object, c.uuid, c.type, c.attributes "
        "FROM history_transaction t LEFT JOIN history_change c ON c.transaction_id = t.id "
        "WHERE t.id > ? ORDER BY t.id, c.rowid"_s);
    if (!statement)
        return statement.error();
    (*statement)->bind(1, token);
    QList<HistoryTransaction> transactions;
    int rc;
    while ((rc = sqlite3_step((*statement)->handle())) == SQLITE_ROW) {
        const Statement &row = **statement;
        const qint64 id = row.int64(0);
        if (transactions.isEmpty() || transactions.last().token != id)
            transactions.append({id, row.text(1), row.int64(2), {}});
        if (row.isNull(3))
            continue;
        const auto entity = entityFromName(row.text(3));
        if (!entity)
            continue;
        ObjectChange change;
        change.entity = *entity;
        change.objectId = row.int64(4);
        row.read(5, change.uuid);
        change.type = ChangeType(row.int64(6));
        const QString attributes = row.text(7);
        if (!attributes.isEmpty())
            change.attributes = attributes.split(u',');
        transactions.last().changes.append(change);
    }
    (*statement)->reset();
    if (rc != SQLITE_DONE)
        return errorFor(rc, localized("reading the store"));
    transactions.removeIf(
        [&](const HistoryTransaction &t) { return skipAuthors.contains(t.author); });
    return transactions;
}

Status StoreConnection::pruneHistory(qint64 olderThanMs, qint64 upToToken)
{
    auto statement = prepared(u"DELETE FROM history_transaction WHERE timestamp < ? AND id <= ?"_s);
    if (!statement)
        return statement.error();
    (*statement)->bind(1, olderThanMs);
    (*statement)->bind(2, upToToken);
    if (const int rc = run(*statement); rc != SQLITE_OK)
        return errorFor(rc, localized("cleaning the history"));
    return std::nullopt;
}
