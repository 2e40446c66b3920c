#include "sqltransaction.h"

#include "sqlitestore.h"

#include <cassert>
#include <utility>

Result<SqlTransaction> SqlTransaction::begin(StoreConnection &connection, Kind kind)
{
    if (auto error = connection.beginTransaction(kind == Kind::write))
        return *error;
    return SqlTransaction(connection);
}

SqlTransaction::SqlTransaction(SqlTransaction &&other) noexcept
    : m_connection(std::exchange(other.m_connection, nullptr))
{}

SqlTransaction::~SqlTransaction()
{
    if (m_connection)
        m_connection->rollbackTransaction();
}

Status SqlTransaction::commit()
{
    assert(m_connection);
    StoreConnection *connection = std::exchange(m_connection, nullptr);
    Status error = connection->commitTransaction();
    // A commit that failed (a deferred constraint, a busy reader) leaves the transaction open.
    if (error)
        connection->rollbackTransaction();
    return error;
}
