#pragma once

#include <QByteArray>

// The service manager that started this process as a notify-type unit, told of its state
// ("READY=1", "STOPPING=1") by one datagram on the socket NOTIFY_SOCKET names. Without that
// variable nobody is told and nothing happens.
namespace ServiceManager {

// Whether the manager was told.
bool notify(const QByteArray &state);

} // namespace ServiceManager
