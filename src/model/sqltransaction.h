#pragma once

#include "result.h"

class StoreConnection;

// One SQL transaction on a store connection, rolled back when it goes out of scope without a
// commit, so that no early return or error leaves the connection inside a transaction (or holding
// the store's write lock).
class SqlTransaction
{
public:
    enum class Kind
    {
        // Sees one consistent state of the store (BEGIN).
        read,
        // Takes the write lock at once (BEGIN IMMEDIATE), so that what it reads is what its
        // writes rest on.
        write
    };

    [[nodiscard]] static Result<SqlTransaction> begin(StoreConnection &connection, Kind kind);

    SqlTransaction(SqlTransaction &&other) noexcept;
    SqlTransaction &operator=(SqlTransaction &&) = delete;
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;
    ~SqlTransaction();

    // Makes the writes permanent. A commit that fails rolls them back and says why; either way
    // the transaction is over.
    Status commit();

private:
    explicit SqlTransaction(StoreConnection &connection) : m_connection(&connection) {}

    // Nothing once committed or moved from.
    StoreConnection *m_connection;
};
