#pragma once

#include "childenvironment.h"
#include "handshakegate.h"
#include "logger.h"
#include "promptrequest.h"
#include "sessionstate.h"
#include "sshprotocol.h"
#include "uniquefd.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <array>
#include <memory>
#include <optional>

class ConnectionNoticeSink;
enum class ConnectionNotice;
class ServicePool;
class ServiceProcess;
struct Message;

// Supervises one SSH connection: runs the client through a fresh service process, follows its
// reports, keeps a summary of the run, tells a normal end from an abnormal one, and retries
// abnormal ends every 3 seconds within the retry budget.
class SecureSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int retryDelayMs = 3000;

    struct Config
    {
        QUuid uuid;
        QString address;
        QString name;
        bool allowUserNotification = false;
        int retryAttempts = 999;
        bool requirePrivilegedHelper = false;
        QString command;
        QStringList params;
        bool setLocale = false;
        std::optional<QString> termInfo;
        SSHProtocol::GridSize gridSize;
    };

    // What every launch needs from outside: the service program, and the environment inputs;
    // the gate and the pool that all sessions of the application share, which outlive them.
    struct Services
    {
        QString serviceProgram;
        std::function<ChildEnvironmentInputs()> environment;
        ConnectionNoticeSink *notices = nullptr;
        // Without one, every question is cancelled.
        PromptPresenter prompt;
        HandshakeGate *gate = nullptr;
        ServicePool *pool = nullptr;
    };

    SecureSession(Config config, std::shared_ptr<Logger> logger, Services services,
                  QObject *parent = nullptr);
    ~SecureSession() override;

    void connect();
    void disconnect();
    void reconnect();
    // Without a network a dropped session waits, its retries untouched, instead of running
    // into the outage every 3 seconds; the network coming back resumes it.
    void setNetworkAvailable(bool available);
    // The machine woke or the network came back: a session that dropped (waiting for its next
    // try, or given up after running out of tries) connects again now with a fresh budget.
    void resumeAfterOutage();
    void logMessage(Logger::Level level, const QString &text,
                    const QString &source = Logger::vanilla);

    const Config &config() const { return m_config; }
    void setConfig(Config config);
    QUuid sessionUUID() const { return m_sessionUUID; }
    SessionState lastState() const { return m_lastState; }
    bool canConnect() const { return isIdle(m_lastState); }
    bool canRetry() const { return m_canRetry && m_retryRemains >= 1; }
    bool isRetrying() const { return m_isRetrying; }
    int retryRemains() const { return m_retryRemains; }
    std::optional<int> exitStatus() const { return m_exitStatus; }
    // While a question of the run waits for its answer, what it waits for.
    QString statusSummary() const;
    bool isWaitingForNetwork() const { return m_waitingForNetwork; }
    bool isRetryScheduled() const { return m_retryTimer.isActive(); }
    QString destination() const { return m_destination; }
    std::optional<QString> hostIP() const { return m_hostIP; }
    std::optional<QString> authInfo() const { return m_authInfo; }
    QStringList authMethods() const { return m_authMethods; }
    std::optional<QString> identityPath() const { return m_identityPath; }
    std::optional<QString> hostKey() const { return m_hostKey; }
    std::optional<QString> algorithm() const { return m_algorithm; }
    std::optional<QString> cipherCtoS() const { return m_cipherCtoS; }
    std::optional<QString> cipherStoC() const { return m_cipherStoC; }
    std::optional<QString> lastErrorMessage() const { return m_lastErrorMessage; }
    std::optional<QString> fatalMessage() const { return m_fatalMessage; }
    Logger *logger() const { return m_logger.get(); }
    void setLogger(std::shared_ptr<Logger> logger) { m_logger = std::move(logger); }

Q_SIGNALS:
    // Once per actual change, after the summary and the log line of the change.
    void stateChanged(SecureSession *session, SessionState newState);
    // Any of the observable fields changed.
    void changed();

protected:
    // Runs inside every launch, before the service is asked to run the client: a subclass
    // gives the client its standard input, output and error here.
    virtual void preparePipes(std::array<UniqueFd, 3> &handles);
    // The run is over: the service process has ended.
    virtual void didTerminate();

private:
    friend class SecureSessionResponder;
    struct ReportApplier;

    // A run: its turn at the server first (HandshakeGate), then the service and the client.
    void launch();
    void startRun();
    void refuseOversizedRun(qsizetype size);
    void leaveGate();
    void setState(SessionState state);
    void handleConnected();
    void handleExit();
    void handleNormalExit();
    void handleAbnormalExit();
    void scheduleRetry();
    void retryNow();
    void waitForNetwork();
    void updateStatusSummary(SessionState state);
    void updateDestination();
    void updateAuthInfo();
    void resetRetryBudget();
    void post(ConnectionNotice notice);
    void handleServiceMessage(Message &message);
    void answerQuestion(quint64 id, const QString &prompt, const QByteArray &publicKeyPEM);

    Config m_config;
    std::shared_ptr<Logger> m_logger;
    Services m_services;
    QUuid m_sessionUUID = QUuid::createUuid();
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<HandshakeGate::Pass> m_gatePass;
    // Tells a turn that comes after its run was given up from the current one.
    quint64 m_runNumber = 0;
    std::optional<QString> m_lastErrorMessage;
    std::optional<QString> m_fatalMessage;
    // The run's first complaint: the cause, where later lines give the consequence ("bind …:
    // Address already in use" before "Could not request local forwarding.").
    std::optional<QString> m_firstProblem;
    std::optional<int> m_exitStatus;
    bool m_reactivateAfterDisconnected = false;
    // The user asked this run to end, so however it ends, it ends normally.
    bool m_disconnectRequested = false;
    // The target accepted the login in this run: from here on an end is a drop like any other.
    bool m_authenticated = false;
    int m_retryRemains = 0;
    bool m_canRetry = true;
    bool m_isRetrying = false;
    bool m_networkAvailable = true;
    bool m_waitingForNetwork = false;
    QTimer m_retryTimer;
    QString m_statusSummary;
    QString m_destination;
    std::optional<QString> m_hostIP;
    std::optional<QString> m_authInfo;
    QStringList m_authMethods;
    std::optional<QString> m_identityPath;
    std::optional<QString> m_hostKey;
    std::optional<QString> m_algorithm;
    std::optional<QString> m_cipherCtoS;
    std::optional<QString> m_cipherStoC;
    SessionState m_lastState = SessionState::notConnected;
    // What the run reported for its questions; every run starts afresh.
    struct AskInput
    {
        qint64 attempt = 0;
        QString info;
        int port = 22;
    };
    AskInput m_askInput;
    // The question out to the presenter, alive until it is answered or its run ends.
    QPointer<QObject> m_waiting;
    QString m_waitingFor;
    bool m_endedAsking = false;
};
