#pragma once

#include "records.h"

#include <QJsonObject>

#include <optional>
#include <type_traits>

// The keys that an edit added, changed or removed relative to its base, applied to another
// state of the dictionary: writers editing different keys all count, and undo takes back only
// the keys of its step.
std::optional<QJsonObject> mergedDictionary(const std::optional<QJsonObject> &edited,
                                            const std::optional<QJsonObject> &base,
                                            const std::optional<QJsonObject> &onto);

// Options with an empty value mean "not set" and are never stored.
void dropEmptyValues(std::optional<QJsonObject> &options);

// The dictionaries in the mask as mergedDictionary makes them; the other attributes stay.
template<class Data>
void mergeDictionaries(Data &merged, const Data &edited, const Data &base, const Data &onto,
                       AttributeMask mask)
{
    forEachMember<Data>([&](int index, auto member) {
        using Value = std::remove_cvref_t<decltype(merged.*member.pointer)>;
        if constexpr (std::is_same_v<Value, std::optional<QJsonObject>>) {
            if (!(mask & (AttributeMask(1) << index)))
                return;
            auto &value = merged.*member.pointer;
            value = mergedDictionary(edited.*member.pointer, base.*member.pointer,
                                     onto.*member.pointer);
            if (member.pointer == &ProfileData::options)
                dropEmptyValues(value);
        }
    });
}
