#include "servicepool.h"

#include "serviceprocess.h"

namespace {

// Not at once: a process starting now would take CPU from the key exchange of the run that just
// took the reserve.
constexpr std::chrono::milliseconds refillDelay{1500};

} // namespace

ServicePool::ServicePool()
{
    m_refill.setSingleShot(true);
    m_refill.setInterval(refillDelay);
    QObject::connect(&m_refill, &QTimer::timeout, &m_refill, [this] { refill(); });
}

ServicePool::~ServicePool() = default;

void ServicePool::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) {
        m_refill.stop();
        m_reserve.reset();
    }
}

std::unique_ptr<ServiceProcess> ServicePool::take(const QString &program)
{
    std::unique_ptr<ServiceProcess> process;
    if (m_enabled && m_program == program && m_reserve && m_reserve->isRunning())
        process = std::move(m_reserve);
    if (!process) {
        process = std::make_unique<ServiceProcess>();
        if (!process->start(program))
            return nullptr;
    }
    if (m_enabled) {
        m_program = program;
        m_reserve.reset();
        m_refill.start();
    }
    return process;
}

void ServicePool::refill()
{
    if (m_reserve || m_program.isEmpty())
        return;
    auto fresh = std::make_unique<ServiceProcess>();
    if (fresh->start(m_program))
        m_reserve = std::move(fresh);
}
