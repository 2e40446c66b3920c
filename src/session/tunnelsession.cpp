#include "tunnelsession.h"

#include "descriptors.h"
#include "linesplitter.h"
#include "profile.h"
#include "quickoptions.h"

#include <QSocketNotifier>

using namespace Qt::StringLiterals;

// One output pipe of the client: its read end, and the level and source its lines are logged
// with.
struct TunnelSession::Reader
{
    UniqueFd fd;
    std::unique_ptr<QSocketNotifier> notifier;
    Logger::Level level;
    QString source;
    LineSplitter lines;
};

namespace {

std::shared_ptr<Logger> makeLogger(ConnectionLog *log)
{
    auto handler = std::make_shared<TextStorageLogHandler>(log);
    handler->setMetadata(u"label"_s, u"io.vellssh.tunnel-session"_s);
    // The service reports the client's debug lines only when the profile's log level asks for
    // them, so the log keeps every line it is given.
    handler->setLogLevel(Logger::Level::debug);
    return std::make_shared<Logger>(handler);
}

} // namespace

TunnelSession::TunnelSession(Profile *profile, InvocationSource invocation,
                             QSet<QString> strictOptions, Services services, QObject *parent)
    : SecureSession(configFor(*profile, invocation(), strictOptions), nullptr, std::move(services),
                    parent),
      m_profile(profile), m_invocation(std::move(invocation)),
      m_strictOptions(std::move(strictOptions)), m_log(std::make_unique<ConnectionLog>())
{
    setLogger(makeLogger(m_log.get()));
    logMessage(Logger::Level::info, u"## "_s + config().name + u" ##\n"_s);
}

TunnelSession::~TunnelSession() = default;

SecureSession::Config TunnelSession::configFor(const Profile &profile,
                                               const InvocationInputs &inputs,
                                               const QSet<QString> &strictOptions)
{
    const SSHInvocation invocation = sshInvocation(profile, inputs);
    Config config;
    config.uuid = profile.uuid().value_or(QUuid::createUuid());
    config.address = profile.address().value_or(QString());
    config.name = profile.displayName();
    config.retryAttempts = profile.retryAttempts();
    config.allowUserNotification = userNotification(profile);
    config.requirePrivilegedHelper = requirePrivilegedHelper(profile, strictOptions);
    config.params = invocation.params;
    config.command = invocation.command;
    return config;
}

void TunnelSession::refreshConfig()
{
    if (m_profile)
        setConfig(configFor(*m_profile, m_invocation(), m_strictOptions));
}

void TunnelSession::preparePipes(std::array<UniqueFd, 3> &handles)
{
    Pipe input = makePipe();
    Pipe output = makePipe();
    Pipe error = makePipe();
    if (!input.read || !output.read || !error.read)
        return;
    handles[0] = std::move(input.read);
    handles[1] = std::move(output.write);
    handles[2] = std::move(error.write);
    m_stdinWrite = std::move(input.write);
    auto reader = [this](UniqueFd fd, Logger::Level level, const QString &source) {
        auto r = std::make_unique<Reader>();
        setNonBlocking(fd.get());
        r->fd = std::move(fd);
        r->level = level;
        r->source = source;
        r->notifier = std::make_unique<QSocketNotifier>(r->fd.get(), QSocketNotifier::Read);
        Reader *raw = r.get();
        QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, this,
                         [this, raw] { readOutput(*raw); });
        return r;
    };
    m_stdout = reader(std::move(output.read), Logger::Level::info, Logger::vanilla);
    m_stderr = reader(std::move(error.read), Logger::Level::error, Logger::standardError);
}

void TunnelSession::readOutput(Reader &reader)
{
    auto log = [this, &reader](const LineSplitter::Line &line) {
        const QString text = line.text().trimmed();
        if (!text.isEmpty())
            logMessage(reader.level, text, reader.source);
    };
    const Drain drained = drainAvailable(reader.fd.get(), [&reader, &log](QByteArrayView chunk) {
        for (const LineSplitter::Line &line : reader.lines.feed(chunk))
            log(line);
    });
    if (drained == Drain::ended) {
        if (const auto rest = reader.lines.finish())
            log(*rest);
        reader.notifier.reset();
        reader.fd.reset();
    }
}

void TunnelSession::didTerminate()
{
    m_stdinWrite.reset();
    // Whatever the client wrote before it ended belongs to this run's summary.
    for (Reader *reader : {m_stdout.get(), m_stderr.get()}) {
        if (reader && reader->fd)
            readOutput(*reader);
    }
    SecureSession::didTerminate();
}
