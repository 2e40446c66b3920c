#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

// Reads an XML property list: dict becomes QVariantMap, array QVariantList, string QString,
// integer qint64, real double, true/false bool, data QByteArray, date QDateTime. Anything that
// is not a well-formed property list gives no value.
std::optional<QVariant> readPropertyList(const QByteArray &xml);
