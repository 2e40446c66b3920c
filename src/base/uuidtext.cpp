#include "uuidtext.h"

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString uuidText(const std::optional<QUuid> &uuid)
{
    return uuid ? uuidText(*uuid) : QString();
}

std::optional<QUuid> uuidFromText(const QString &text)
{
    const QUuid uuid(text);
    if (uuid.isNull())
        return std::nullopt;
    return uuid;
}
