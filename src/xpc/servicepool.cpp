#include "servicepool.h"

#include "serviceprocess.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace {

// Lives under the application object, so the reserve goes before the event loop does.
class Reserve : public QObject
{
public:
    using QObject::QObject;
    QString program;
    std::unique_ptr<ServiceProcess> process;

    void refill()
    {
        if (process || program.isEmpty())
            return;
        auto fresh = std::make_unique<ServiceProcess>();
        if (fresh->start(program))
            process = std::move(fresh);
    }
};

bool enabled = false;
constexpr std::chrono::milliseconds refillDelay{1500};
QPointer<Reserve> reserve;

Reserve *theReserve()
{
    if (!reserve && QCoreApplication::instance())
        reserve = new Reserve(QCoreApplication::instance());
    return reserve;
}

} // namespace

void ServicePool::setEnabled(bool on)
{
    enabled = on;
    if (!on && reserve)
        reserve->process.reset();
}

std::unique_ptr<ServiceProcess> ServicePool::take(const QString &program)
{
    std::unique_ptr<ServiceProcess> process;
    Reserve *pool = enabled ? theReserve() : nullptr;
    if (pool && pool->program == program && pool->process && pool->process->isRunning())
        process = std::move(pool->process);
    pool = enabled ? pool : nullptr;
    if (!process) {
        process = std::make_unique<ServiceProcess>();
        if (!process->start(program))
            return nullptr;
    }
    if (pool) {
        pool->program = program;
        pool->process.reset();
        // Not at once: a process starting now would take CPU from the key exchange of the run
        // that just took the reserve.
        QTimer::singleShot(refillDelay, pool, [pool] { pool->refill(); });
    }
    return process;
}
