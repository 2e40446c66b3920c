#include "dictionarymerge.h"

std::optional<QJsonObject> mergedDictionary(const std::optional<QJsonObject> &edited,
                                            const std::optional<QJsonObject> &base,
                                            const std::optional<QJsonObject> &onto)
{
    const QJsonObject after = edited.value_or(QJsonObject());
    const QJsonObject before = base.value_or(QJsonObject());
    QJsonObject merged = onto.value_or(QJsonObject());
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (!after.contains(it.key()))
            merged.remove(it.key());
    }
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (before.value(it.key()) != it.value())
            merged.insert(it.key(), it.value());
    }
    if (!edited && merged.isEmpty())
        return std::nullopt;
    return merged;
}

void dropEmptyValues(std::optional<QJsonObject> &options)
{
    if (!options)
        return;
    for (auto it = options->begin(); it != options->end();) {
        if (it.value().isString() && it.value().toString().isEmpty())
            it = options->erase(it);
        else
            ++it;
    }
}
