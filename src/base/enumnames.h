#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

// The raw texts of an enumeration in one table, so that writing and reading agree.
template<class E, std::size_t N>
struct EnumNames
{
    std::array<std::pair<E, const char *>, N> entries;

    QString name(E value) const
    {
        for (const auto &[entry, text] : entries) {
            if (entry == value)
                return QString::fromLatin1(text);
        }
        return {};
    }

    // Exact, case-sensitive match.
    std::optional<E> value(const QString &text) const
    {
        for (const auto &[entry, name] : entries) {
            if (text == QLatin1StringView(name))
                return entry;
        }
        return std::nullopt;
    }
};

template<class E, std::size_t N>
constexpr EnumNames<E, N> enumNames(const std::pair<E, const char *> (&entries)[N])
{
    EnumNames<E, N> names{};
    for (std::size_t i = 0; i < N; ++i)
        names.entries[i] = entries[i];
    return names;
}
