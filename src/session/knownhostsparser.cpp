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

void KnownHostsParser::exchange(const QString &op, const QCborMap &args, const char *logFormat,
                                std::function<void(Result<QCborMap>)> done)
{
    auto fail = [done, logFormat](const QString &message) {
        qCWarning(lcSettings, logFormat, qPrintable(message));
        done(Error(message));
    };
    m_service = std::make_unique<ServiceProcess>();
    if (!m_service->start(m_program)) {
        m_service.reset();
        fail(localized("The SSH service could not be started."));
        return;
    }
    MessageChannel *channel = m_service->channel();
    connect(channel, &MessageChannel::closed, this, [fail](const QString &reason) {
        fail(reason.isEmpty() ? localized("The SSH service ended without an answer.") : reason);
    });
    channel->request(op, args, [this, done, fail](Message &reply) {
        disconnect(m_service->channel(), nullptr, this, nullptr);
        m_service->channel()->close();
        const QString error = reply.args.value(u"error"_s).toString();
        if (error.isEmpty())
            done(reply.args);
        else
            fail(error);
    });
}

void KnownHostsParser::load(const QString &path, Loaded done)
{
    exchange(SSHProtocol::loadKnownHost, {{u"path"_s, path}}, "Load error: %s",
             [done](Result<QCborMap> reply) {
                 if (!reply) {
                     done(reply.error());
                     return;
                 }
                 auto entries = knownHostsFromJSON(reply->value(u"data"_s).toByteArray());
                 if (!entries)
                     qCWarning(lcSettings, "Load error: %s", qPrintable(entries.error().message));
                 done(std::move(entries));
             });
}

void KnownHostsParser::dump(const QString &path, const QList<KnownHostEntry> &entries, Dumped done)
{
    exchange(SSHProtocol::dumpKnownHost, {{u"path"_s, path}, {u"json"_s, knownHostsJSON(entries)}},
             "Dump error: %s",
             [done](Result<QCborMap> reply) { done(reply ? Status() : Status(reply.error())); });
}
