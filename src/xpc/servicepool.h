#pragma once

#include <QString>

#include <memory>

class ServiceProcess;

// Keeps one started service process in reserve, so that a launch does not wait for a process
// to start: each run still gets a process of its own, and a new reserve is started a moment
// after one is taken. Off unless the application turns it on; the reserve ends with the
// application.
class ServicePool
{
public:
    static void setEnabled(bool enabled);
    // A started service process for the program, or nothing when none could be started.
    static std::unique_ptr<ServiceProcess> take(const QString &program);
};
