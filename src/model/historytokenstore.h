#pragma once

#include <QtGlobal>

#include <optional>

// Where the history service keeps the last transaction it merged, across runs.
class HistoryTokenStore
{
public:
    virtual ~HistoryTokenStore() = default;
    virtual std::optional<qint64> lastToken() const = 0;
    virtual void setLastToken(qint64 token) = 0;
};
