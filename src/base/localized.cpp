#include "localized.h"

#include <QCoreApplication>

QString localized(const char *english)
{
    return QCoreApplication::translate("Shared", english);
}
