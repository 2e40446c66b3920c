#pragma once

#include "clientlogparser.h"

#include <QCborMap>
#include <QString>

// The service-protocol message for one report of the client's progress.
std::pair<QString, QCborMap> reportMessage(const ClientReportItem &item);
