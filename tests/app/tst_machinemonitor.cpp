#include "machinemonitor.h"
#include "machineservices.h"
#include "testenvironment.h"

#include <QSignalSpy>

// The monitor against login1 and NetworkManager played on a private system bus, each test with
// services of its own.
class MachineMonitorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MachineServices> m_services;

private Q_SLOTS:
    void init() { m_services = std::make_unique<MachineServices>(); }
    void cleanup() { m_services.reset(); }

    void aMachineWithoutNetworkManagerIsOnline()
    {
        QCOMPARE(m_services->startLogin1(), QString());
        MachineMonitor monitor;
        QSignalSpy changes(&monitor, &MachineMonitor::onlineChanged);
        QVERIFY(monitor.isOnline());
        // Its appearing, offline, is heard; its going away makes the machine online again.
        QCOMPARE(m_services->startNetworkManager(FakeNetworkManager::disconnected), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isOnline(), 10000);
        m_services->stopNetworkManager();
        QTRY_VERIFY_WITH_TIMEOUT(monitor.isOnline(), 10000);
        QCOMPARE(changes.size(), 2);
    }

    void theNetworkStateIsReadAtStartAndFollowed()
    {
        QCOMPARE(m_services->startNetworkManager(FakeNetworkManager::disconnected), QString());
        MachineMonitor monitor;
        QSignalSpy changes(&monitor, &MachineMonitor::onlineChanged);
        QVERIFY(changes.wait(10000));
        QCOMPARE(changes.takeFirst().at(0).toBool(), false);

        // Connecting is not online yet; a link without a route out still reaches the LAN.
        m_services->network().setState(40);
        m_services->network().setState(50);
        QVERIFY(changes.wait(10000));
        QCOMPARE(changes.takeFirst().at(0).toBool(), true);
        m_services->network().setState(FakeNetworkManager::connectedGlobal);
        m_services->network().setState(10);
        QVERIFY(changes.wait(10000));
        QCOMPARE(changes.takeFirst().at(0).toBool(), false);
        QVERIFY(changes.isEmpty());
    }

    void onlyWakingUpCountsAsResuming()
    {
        QCOMPARE(m_services->startLogin1(), QString());
        MachineMonitor monitor;
        QSignalSpy resumed(&monitor, &MachineMonitor::resumed);
        // The bus keeps their order: going to sleep, heard first, would have counted already.
        m_services->login1().sleepAndWake();
        QVERIFY(resumed.wait(10000));
        QCOMPARE(resumed.size(), 1);
        QVERIFY(monitor.isOnline());
    }

    void statesFromConnectedLocalUpAndUnknownAreOnline()
    {
        for (uint state : {0u, 50u, 60u, 70u})
            QVERIFY2(MachineMonitor::isOnlineState(state), qPrintable(QString::number(state)));
        for (uint state : {10u, 20u, 30u, 40u})
            QVERIFY2(!MachineMonitor::isOnlineState(state), qPrintable(QString::number(state)));
    }
};

VELL_TEST_MAIN(MachineMonitorTest)
#include "tst_machinemonitor.moc"
