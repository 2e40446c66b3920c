#include "knownhostsparser.h"

#include "homedirectory.h"
#include "localized.h"
#include "messagechannel.h"
#include "serviceprocess.h"
#include "sshprotocol.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSettings, "io.vellssh.settings")

KnownHostsParser::KnownHostsParser(QString serviceProgram, QObject *parent)
    : QObject(parent), m_program(std::move(serviceProgram))
{}

KnownHostsParser::~KnownHostsParser() = default;

QString KnownHostsParser::defaultFile()
{
    return realHomeDirectory() + u"/.ssh/known_hosts"_s;
}

bool KnownHostsParser::open(const std::function<void(const QString &)> &fail)
{
    m_service = std::make_unique<ServiceProcess>();
    if (m_service->start(m_program))
        return true;
    m_service.reset();
    fail(localized("The SSH service could not be started."));
    return false;
}

void KnownHostsParser::load(const QString &path, Loaded done)
{
    auto fail = [done](const QString &message) {
        qCWarning(lcSettings, "Load error: %s", qPrintable(message));
        done(Error(message));
    };
    if (!open(fail))
        return;
    MessageChannel *channel = m_service->channel();
    connect(channel, &MessageChannel::closed, this, [fail](const QString &reason) {
        fail(reason.isEmpty() ? localized("The SSH service ended without an answer.") : reason);
    });
    channel->request(
        SSHProtocol::loadKnownHost, {{u"path"_s, path}}, [this, done, fail](Message &reply) {
            disconnect(m_service->channel(), nullptr, this, nullptr);
            const QString error = reply.args.value(u"error"_s).toString();
            auto entries = error.isEmpty()
                               ? knownHostsFromJSON(reply.args.value(u"data"_s).toByteArray())
                               : Result<QList<KnownHostEntry>>(Error(error));
            m_service->channel()->close();
            if (entries)
                done(std::move(entries));
            else
                fail(entries.error().message);
        });
}

void KnownHostsParser::dump(const QString &path, const QList<KnownHostEntry> &entries, Dumped done)
{
    auto fail = [done](const QString &message) {
        qCWarning(lcSettings, "Dump error: %s", qPrintable(message));
        done(Error(message));
    };
    if (!open(fail))
        return;
    MessageChannel *channel = m_service->channel();
    connect(channel, &MessageChannel::closed, this, [fail](const QString &reason) {
        fail(reason.isEmpty() ? localized("The SSH service ended without an answer.") : reason);
    });
    channel->request(SSHProtocol::dumpKnownHost,
                     {{u"path"_s, path}, {u"json"_s, knownHostsJSON(entries)}},
                     [this, done, fail](Message &reply) {
                         disconnect(m_service->channel(), nullptr, this, nullptr);
                         const QString error = reply.args.value(u"error"_s).toString();
                         m_service->channel()->close();
                         if (error.isEmpty())
                             done(std::nullopt);
                         else
                             fail(error);
                     });
}
