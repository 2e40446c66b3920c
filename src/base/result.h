#pragma once

#include <QString>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <variant>

// An error a user can meet: the text to show, and where one exists a suggestion and a code.
struct Error
{
    Error() = default;
    explicit Error(QString message, QString recoverySuggestion = {}, int code = 0)
        : message(std::move(message)), recoverySuggestion(std::move(recoverySuggestion)), code(code)
    {}

    QString message;
    QString recoverySuggestion;
    int code = 0;

    friend bool operator==(const Error &, const Error &) = default;
};

// The system's own words for an errno value, for the caller's sentence.
inline QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The value of an operation that can fail, or the error that a user should read.
template<class T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    const T &value() const &
    {
        assert(ok());
        return std::get<T>(m_state);
    }
    T &value() &
    {
        assert(ok());
        return std::get<T>(m_state);
    }
    T &&value() &&
    {
        assert(ok());
        return std::get<T>(std::move(m_state));
    }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }
    const T &operator*() const & { return value(); }

    const Error &error() const
    {
        assert(!ok());
        return std::get<Error>(m_state);
    }

private:
    std::variant<T, Error> m_state;
};

// For operations that give nothing back but may fail: no value means success.
using Status = std::optional<Error>;
