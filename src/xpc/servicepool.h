#pragma once

#include <QString>
#include <QTimer>

#include <memory>

class ServiceProcess;

// Keeps one started service process in reserve, so that a launch does not wait for a process
// to start: each run still gets a process of its own, and a new reserve is started a moment
// after one is taken. Off until its owner turns it on; the reserve ends with the pool.
class ServicePool
{
public:
    ServicePool();
    ~ServicePool();
    ServicePool(const ServicePool &) = delete;
    ServicePool &operator=(const ServicePool &) = delete;

    void setEnabled(bool enabled);
    // A started service process for the program, or nothing when none could be started.
    std::unique_ptr<ServiceProcess> take(const QString &program);

private:
    void refill();

    bool m_enabled = false;
    QString m_program;
    std::unique_ptr<ServiceProcess> m_reserve;
    QTimer m_refill;
};
