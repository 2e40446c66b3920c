#include "securesession.h"

#include "answercrypto.h"
#include "connectionnotices.h"
#include "handshakegate.h"
#include "homedirectory.h"
#include "localized.h"
#include "messagechannel.h"
#include "reportmessages.h"
#include "servicepool.h"
#include "serviceprocess.h"

#include <fcntl.h>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;
namespace R = ClientReport;

Q_DECLARE_LOGGING_CATEGORY(lcXpc)

namespace {

// The client's quiet and debug lines are kept as debug lines, its verbose ones as information.
Logger::Level loggerLevel(OpenSSHLevel level)
{
    switch (level) {
    case OpenSSHLevel::fatal:
        return Logger::Level::critical;
    case OpenSSHLevel::error:
        return Logger::Level::error;
    case OpenSSHLevel::info:
    case OpenSSHLevel::verbose:
        return Logger::Level::info;
    default:
        return Logger::Level::debug;
    }
}

} // namespace

SecureSession::SecureSession(Config config, std::shared_ptr<Logger> logger, Services services,
                             QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_logger(std::move(logger)),
      m_services(std::move(services)), m_statusSummary(description(SessionState::notConnected))
{
    Q_ASSERT(m_services.gate && m_services.pool);
    qRegisterMetaType<SessionState>();
    m_retryRemains = m_config.retryAttempts;
    updateDestination();
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(retryDelayMs);
    QObject::connect(&m_retryTimer, &QTimer::timeout, this, &SecureSession::retryNow);
}

SecureSession::~SecureSession()
{
    // A released session takes its client with it: the service process is killed and reaped.
    m_service.reset();
}

void SecureSession::setConfig(Config config)
{
    m_config = std::move(config);
    updateDestination();
    Q_EMIT changed();
}

void SecureSession::connect()
{
    Q_ASSERT(thread() == QThread::currentThread());
    if (!canConnect())
        return;
    m_exitStatus.reset();
    resetRetryBudget();
    m_canRetry = true;
    m_isRetrying = false;
    launch();
}

void SecureSession::disconnect()
{
    if (canConnect())
        return;
    m_canRetry = false;
    if (m_lastState == SessionState::retrying) {
        setState(SessionState::disconnected);
        return;
    }
    if (!m_service) {
        // Still waiting for its turn at the server: nothing runs yet.
        leaveGate();
        handleNormalExit();
        return;
    }
    m_isRetrying = false;
    m_disconnectRequested = true;
    if (m_service->channel())
        m_service->channel()->send(SSHProtocol::terminate);
}

void SecureSession::reconnect()
{
    if (canConnect())
        return;
    m_reactivateAfterDisconnected = true;
    disconnect();
}

void SecureSession::setNetworkAvailable(bool available)
{
    if (std::exchange(m_networkAvailable, available) == available)
        return;
    if (available) {
        resumeAfterOutage();
    } else if (m_retryTimer.isActive()) {
        m_retryTimer.stop();
        waitForNetwork();
    }
}

void SecureSession::resumeAfterOutage()
{
    // A session given up for good (a refused login, a user's disconnect) stays given up; one
    // that never had tries is not given any.
    const bool pending = m_lastState == SessionState::retrying && canRetry();
    const bool ranOut = m_lastState == SessionState::abnormalDisconnect && m_canRetry &&
                        m_retryRemains < 1 && m_config.retryAttempts > 0;
    if (!m_networkAvailable || !(pending || ranOut))
        return;
    m_retryTimer.stop();
    resetRetryBudget();
    m_isRetrying = true;
    launch();
}

QString SecureSession::statusSummary() const
{
    if (m_waiting)
        return m_waitingFor;
    return m_waitingForNetwork ? localized("Waiting for the network") : m_statusSummary;
}

void SecureSession::logMessage(Logger::Level level, const QString &text, const QString &source)
{
    if (m_logger)
        m_logger->log(level, text, source);
    if (level != Logger::Level::critical && level != Logger::Level::error)
        return;
    QString normalized = text;
    normalized.replace(u"\r\n"_s, u" "_s).replace(u'\n', u' ');
    normalized = normalized.trimmed();
    if (normalized.isEmpty())
        return;
    if (!m_firstProblem)
        m_firstProblem = normalized;
    if (level == Logger::Level::critical) {
        if (!m_fatalMessage)
            m_fatalMessage = normalized;
    } else {
        m_lastErrorMessage = normalized;
    }
    Q_EMIT changed();
}

void SecureSession::launch()
{
    setState(SessionState::connecting);
    m_hostIP.reset();
    updateDestination();
    m_authMethods.clear();
    m_identityPath.reset();
    updateAuthInfo();
    m_hostKey.reset();
    m_algorithm.reset();
    m_cipherStoC.reset();
    m_cipherCtoS.reset();
    m_lastErrorMessage.reset();
    m_fatalMessage.reset();
    m_firstProblem.reset();
    m_exitStatus.reset();
    m_disconnectRequested = false;
    m_authenticated = false;

    const quint64 run = ++m_runNumber;
    m_gatePass = m_services.gate->enter(m_config.address, this, [this, run] {
        if (run == m_runNumber)
            startRun();
    });
}

void SecureSession::leaveGate()
{
    ++m_runNumber;
    m_gatePass.reset();
}

void SecureSession::startRun()
{
    m_askInput = {};
    ChildEnvironmentInputs inputs =
        m_services.environment ? m_services.environment() : ChildEnvironmentInputs();
    inputs.setLocale = m_config.setLocale;
    inputs.terminalType = m_config.termInfo;
    const SSHProtocol::RunRequest request{m_config.params, makeChildEnvironment(inputs),
                                          m_config.gridSize};

    std::array<UniqueFd, 3> handles;
    preparePipes(handles);

    m_service = m_services.pool->take(m_services.serviceProgram);
    if (!m_service) {
        logMessage(Logger::Level::critical, localized("The SSH service could not be started."));
        QMetaObject::invokeMethod(this, &SecureSession::didTerminate, Qt::QueuedConnection);
        return;
    }
    QObject::connect(m_service.get(), &ServiceProcess::finished, this, [this] {
        // The run is over only here; whatever else happened led to this.
        QMetaObject::invokeMethod(this, &SecureSession::didTerminate, Qt::QueuedConnection);
    });
    MessageChannel *channel = m_service->channel();
    QObject::connect(channel, &MessageChannel::received, this,
                     &SecureSession::handleServiceMessage);
    // The client always gets three handles; a missing one is /dev/null.
    std::vector<int> fds;
    for (UniqueFd &fd : handles) {
        if (!fd)
            fd.reset(::open("/dev/null", O_RDWR | O_CLOEXEC));
        fds.push_back(fd.get());
    }
    const QCborMap runArgs = SSHProtocol::encode(request);
    if (!channel->send(SSHProtocol::runWith, runArgs, fds) && channel->isOpen())
        refuseOversizedRun(runArgs.toCborValue().toCbor().size());
}

// Only the environment grows without bound in a run's request; the same variables would be
// refused again, so the run ends as a failure that is not retried.
void SecureSession::refuseOversizedRun(qsizetype size)
{
    logMessage(Logger::Level::critical,
               localized("The environment variables are too large to pass to the client (%1 "
                         "bytes).")
                   .arg(size));
    m_canRetry = false;
    m_exitStatus = 255;
    m_service->channel()->send(SSHProtocol::terminate);
}

// Each report of a run, taken into the session.
struct SecureSession::ReportApplier
{
    SecureSession &s;

    void operator()(const R::Log &r) const { s.logMessage(loggerLevel(r.level), r.text.trimmed()); }
    void operator()(const R::HostWithHost &r) const
    {
        s.m_hostIP = r.ip;
        s.updateDestination();
    }
    void operator()(const R::ConnectInfo &r) const
    {
        s.m_askInput.port = r.port ? r.port : 22;
        s.m_askInput.info = r.user + u'@' + r.host + u':' + QString::number(s.m_askInput.port);
    }
    void operator()(const R::Authenticating &) const { s.setState(SessionState::authenticating); }
    void operator()(const R::Jumping &) const { s.setState(SessionState::jumping); }
    void operator()(const R::Multiplexing &) const { s.setState(SessionState::multiplexing); }
    void operator()(const R::Connected &) const { s.handleConnected(); }
    void operator()(const R::Authenticated &) const { s.m_authenticated = true; }
    void operator()(const R::HostKeyRefused &) const { s.m_canRetry = false; }
    void operator()(const R::RunRefused &) const { s.m_canRetry = false; }
    void operator()(const R::AuthMethod &r) const
    {
        s.m_authMethods.append(r.method);
        s.updateAuthInfo();
    }
    void operator()(const R::Identity &r) const
    {
        s.m_identityPath = r.path;
        s.updateAuthInfo();
    }
    void operator()(const R::HostKey &r) const { s.m_hostKey = r.key; }
    void operator()(const R::Algorithm &r) const { s.m_algorithm = r.name; }
    void operator()(const R::Cipher &r) const
    {
        (r.clientToServer ? s.m_cipherCtoS : s.m_cipherStoC) = r.name;
    }
    void operator()(const R::Attempt &r) const { s.m_askInput.attempt = r.attempt; }
    void operator()(const R::Exit &r) const { s.m_exitStatus = r.status; }
};

void SecureSession::handleServiceMessage(Message &message)
{
    if (message.op == SSHProtocol::askPass && message.id) {
        answerQuestion(message.id, message.args.value(u"prompt"_s).toString(),
                       message.args.value(u"publicKeyPEM"_s).toString().toLatin1());
        return;
    }
    const std::optional<ClientReportItem> report = reportFromMessage(message.op, message.args);
    if (!report) {
        qCWarning(lcXpc).noquote() << "a report the session cannot read:" << message.op;
        return;
    }
    std::visit(ReportApplier{*this}, *report);
    Q_EMIT changed();
}

void SecureSession::answerQuestion(quint64 id, const QString &prompt,
                                   const QByteArray &publicKeyPEM)
{
    const QPointer<ServiceProcess> service(m_service.get());
    const QPointer<SecureSession> self(this);
    const AuthPromptType type = classifyPrompt(prompt);
    const bool permission = std::holds_alternative<AuthPrompt::Permission>(type);
    // The question stands as long as the service of its run.
    const QPointer<QObject> standing = new QObject(m_service.get());
    auto reply = [self, service, standing, id, publicKeyPEM,
                  permission](std::optional<PromptReply> answer) {
        // An answer that comes after its run ended belongs to no run.
        if (!standing || !service || !service->channel())
            return;
        delete standing.get();
        // A user who refused a question is not asked it again by a retry.
        if (self && (!answer || (permission && answer->text != u"yes"_s)))
            self->m_canRetry = false;
        const auto sealed = answer ? sealAnswer(publicKeyPEM, answer->text.toUtf8()) : std::nullopt;
        service->channel()->reply(id, sealed ? QCborMap{{u"answer"_s, *sealed}}
                                             : QCborMap{{u"cancelled"_s, true}});
        if (self)
            Q_EMIT self->changed();
    };
    if (!m_services.prompt) {
        reply(std::nullopt);
        return;
    }
    m_waiting = standing;
    m_waitingFor = waitingText(type);
    Q_EMIT changed();
    m_services.prompt({type, prompt, m_config.name, m_askInput.info, m_askInput.port,
                       m_askInput.attempt, m_config.uuid, standing},
                      reply);
}

void SecureSession::didTerminate()
{
    // Its standing goes with the service: still there now, the question was never answered.
    m_endedAsking = !m_waiting.isNull();
    leaveGate();
    m_service.reset();
    handleExit();
}

void SecureSession::handleExit()
{
    const bool abnormal =
        !m_disconnectRequested && (m_fatalMessage || !m_exitStatus || *m_exitStatus != 0);
    // Login did not fail in a run that got past it, or that ended while its question waited
    // unanswered.
    if (m_lastState == SessionState::authenticating && !m_authenticated && !m_endedAsking)
        m_canRetry = false;
    if (!m_exitStatus)
        logMessage(Logger::Level::critical,
                   localized("The OpenSSH process terminated unexpectedly."));
    if (abnormal)
        handleAbnormalExit();
    else
        handleNormalExit();
}

void SecureSession::handleNormalExit()
{
    setState(SessionState::disconnected);
    if (std::exchange(m_reactivateAfterDisconnected, false))
        connect();
}

void SecureSession::handleAbnormalExit()
{
    if (!m_isRetrying && m_config.allowUserNotification) {
        post(m_lastState == SessionState::connected ? ConnectionNotice::connectionInterrupted
                                                    : ConnectionNotice::connectionFailed);
    }
    setState(SessionState::abnormalDisconnect);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (canRetry())
                scheduleRetry();
        },
        Qt::QueuedConnection);
}

void SecureSession::scheduleRetry()
{
    if (!m_networkAvailable) {
        // Set before the state changes, so that whoever hears of the change reads why.
        m_waitingForNetwork = true;
        setState(SessionState::retrying);
        waitForNetwork();
        return;
    }
    setState(SessionState::retrying);
    m_retryTimer.start();
}

void SecureSession::retryNow()
{
    if (!canRetry() || m_lastState != SessionState::retrying)
        return;
    --m_retryRemains;
    m_isRetrying = true;
    launch();
}

void SecureSession::waitForNetwork()
{
    Q_ASSERT(m_lastState == SessionState::retrying);
    m_waitingForNetwork = true;
    logMessage(Logger::Level::info, localized("Waiting for the network"));
    Q_EMIT changed();
}

void SecureSession::handleConnected()
{
    m_gatePass.reset();
    setState(SessionState::connected);
    m_canRetry = true;
    resetRetryBudget();
    if (m_config.allowUserNotification) {
        post(m_isRetrying ? ConnectionNotice::connectionRestored : ConnectionNotice::connected);
    }
    m_isRetrying = false;
}

void SecureSession::post(ConnectionNotice notice)
{
    if (!m_services.notices)
        return;
    const bool ended = notice == ConnectionNotice::connectionFailed ||
                       notice == ConnectionNotice::connectionInterrupted;
    const QString reason = m_fatalMessage.value_or(m_lastErrorMessage.value_or(QString()));
    m_services.notices->post(notice, m_config.name, m_config.uuid, ended ? reason : QString());
}

void SecureSession::setState(SessionState state)
{
    Q_ASSERT(thread() == QThread::currentThread());
    if (state == m_lastState)
        return;
    m_lastState = state;
    if (state != SessionState::retrying) {
        m_waitingForNetwork = false;
        m_retryTimer.stop();
    }
    updateStatusSummary(state);
    logMessage(logLevelOfChange(state), description(state));
    Q_EMIT changed();
    Q_EMIT stateChanged(this, state);
}

void SecureSession::updateStatusSummary(SessionState state)
{
    const std::optional<QString> reason = m_fatalMessage ? m_fatalMessage : m_lastErrorMessage;
    m_statusSummary =
        state == SessionState::abnormalDisconnect && reason ? *reason : description(state);
    // A tunnel that keeps failing says why in its row, not only in its log.
    if (state == SessionState::retrying && m_firstProblem)
        m_statusSummary =
            localized("Connection failed (%1), Retrying in 3 seconds...").arg(*m_firstProblem);
    if (state == SessionState::connecting) {
        logMessage(Logger::Level::info, QString(), Logger::rule);
        logMessage(Logger::Level::info, u"Equivalent Command: "_s + m_config.command);
    }
}

void SecureSession::updateDestination()
{
    m_destination = m_hostIP && *m_hostIP != m_config.address
                        ? m_config.address + u" ("_s + *m_hostIP + u')'
                        : m_config.address;
}

void SecureSession::updateAuthInfo()
{
    if (m_authMethods.isEmpty() && !m_identityPath) {
        m_authInfo.reset();
        return;
    }
    QStringList methods = m_authMethods;
    if (m_identityPath) {
        QString path = *m_identityPath;
        const QString home = realHomeDirectory();
        if (path.startsWith(home + u'/'))
            path = u'~' + path.mid(home.size());
        for (QString &method : methods) {
            if (method == u"publickey"_s)
                method = u"publickey("_s + path + u')';
        }
    }
    m_authInfo = methods.join(u", "_s);
}

void SecureSession::resetRetryBudget()
{
    if (m_retryRemains != m_config.retryAttempts)
        m_retryRemains = m_config.retryAttempts;
}

void SecureSession::preparePipes(std::array<UniqueFd, 3> &) {}
