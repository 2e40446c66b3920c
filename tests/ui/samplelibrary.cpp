#include "samplelibrary.h"

#include "editorsample.h"
#include "forwarding.h"
#include "homedirectory.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "queries.h"
#include "sessioncontainer.h"
#include "settings.h"
#include "tag.h"
#include "tunnelsession.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

const QString SampleLibrary::busiest = u"Production API"_s;
const QString SampleLibrary::detailed = u"Staging database"_s;

namespace {

const QString metrics = u"Metrics dashboard"_s;
const QString failing = u"Build server"_s;
const QString waiting = u"Office gateway"_s;

QString userName()
{
    const passwd *entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : u"root"_s;
}

// The sshd's client key as the user's own, so that profiles pick it by name.
bool installClientKey(const SshdFixture &sshd)
{
    const QString folder = realHomeDirectory() + u"/.ssh"_s;
    QDir().mkpath(folder);
    const QString key = folder + u"/id_ed25519"_s;
    return QFile::copy(sshd.clientKey(), key) &&
           QFile::copy(sshd.clientKey() + u".pub"_s, key + u".pub"_s) &&
           QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
}

bool waitForState(TunnelSession *session, SessionState state)
{
    return QTest::qWaitFor([&] { return session->lastState() == state; }, SampleLibrary::timeoutMs);
}

} // namespace

SampleLibrary::SampleLibrary() : m_sshd(QDir::tempPath() + u"/sshd"_s) {}

SampleLibrary::~SampleLibrary()
{
    stop();
}

QString SampleLibrary::start()
{
    if (const QString problem = m_sshd.start(); !problem.isEmpty())
        return problem;
    if (!installClientKey(m_sshd))
        return u"the client key could not be installed"_s;
    if (!m_silent.listen(QHostAddress::LocalHost))
        return m_silent.errorString();
    if (const QString problem = startCore(); !problem.isEmpty())
        return problem;
    addProfiles();
    if (auto error = m_app->store().mainContext()->saveIfChanged())
        return error->message;
    return connectTunnels();
}

QString SampleLibrary::startCore()
{
    VellAppDelegate::Options options;
    options.storePath = QDir::tempPath() + u"/VellSSH.sqlite"_s;
    options.settingsPath = QDir::tempPath() + u"/VellSSH.conf"_s;
    options.serviceProgram = QStringLiteral(VELLSSH_SERVICE);
    options.askPassProgram = VellAppDelegate::defaultAskPassProgram(options.serviceProgram);
    options.autoConnect = false;
    auto started = VellAppDelegate::start(options);
    if (!started)
        return started.error().message;
    m_app = std::move(started).value();
    if (m_app->settings().set(SettingKeys::userConfigFilePath, m_sshd.clientConfig()))
        return u"the client configuration could not be set"_s;
    return {};
}

void SampleLibrary::addProfiles()
{
    ObjectContext &context = *m_app->store().mainContext();
    Profile *sample = insertSampleProfile(context, detailed);
    Tag *staging = sample->tags().constFirst();
    context.performWithoutUndo([&] {
        Tag *production = context.insertTag();
        production->setName(u"production"_s);
        Tag *monitoring = context.insertTag();
        monitoring->setName(u"monitoring"_s);

        Profile *api = addProfile(busiest, m_sshd.port());
        api->setNote(u"The public API and the webhooks it calls back."_s);
        api->setRetryAttempts(3);
        api->setPinned(true);
        api->addTag(production);
        addForwardings(api);

        Profile *dashboard = addProfile(metrics, m_sshd.port());
        dashboard->setTags({production, monitoring});
        context
            .insertForwarding({QUuid::createUuid(),
                               0,
                               true,
                               {},
                               SshdFixture::freePort(),
                               u"localhost"_s,
                               3000,
                               u"Dashboards"_s,
                               0})
            ->setProfile(dashboard);

        Profile *build = addProfile(failing, SshdFixture::freePort());
        build->setRetryAttempts(0);
        build->addTag(staging);
        addProfile(waiting, m_silent.serverPort())->addTag(monitoring);

        Profile *home = addProfile(u"Home lab"_s, 22);
        home->setAddress(u"homelab.example.net"_s);
        home->setPinned(true);
        Profile *old = addProfile(u"Old bastion"_s, 22);
        old->setAddress(u"bastion-2019.example.org"_s);
        moveToTrash({old});
    });
}

Profile *SampleLibrary::addProfile(const QString &name, quint16 port)
{
    Profile *profile = m_app->store().mainContext()->insertProfile();
    profile->setName(name);
    profile->setAddress(u"127.0.0.1"_s);
    profile->setPort(port);
    profile->setUser(userName());
    profile->setPrivateKeyName(u"id_ed25519"_s);
    return profile;
}

void SampleLibrary::addForwardings(Profile *profile)
{
    const ForwardingData forwardings[] = {
        {{}, 0, true, {}, SshdFixture::freePort(), u"localhost"_s, 8080, u"API"_s, 0},
        {{}, 1, true, {}, SshdFixture::freePort(), u"localhost"_s, 3000, u"Webhooks"_s, 1},
        {{}, 2, true, u"127.0.0.1"_s, SshdFixture::freePort(), {}, 0, u"Private network"_s, 2},
        {{}, 3, true, {}, SshdFixture::freePort(), {}, 0, u"Office proxy"_s, 3},
    };
    for (ForwardingData data : forwardings) {
        data.uuid = QUuid::createUuid();
        m_app->store().mainContext()->insertForwarding(data)->setProfile(profile);
    }
}

QString SampleLibrary::connectTunnels()
{
    for (const QString &name : {busiest, metrics, failing, waiting})
        session(name)->connect();
    for (const QString &name : {busiest, metrics}) {
        if (!waitForState(session(name), SessionState::connected))
            return name + u" did not connect: "_s + session(name)->statusSummary();
    }
    if (!waitForState(session(failing), SessionState::abnormalDisconnect))
        return failing + u" did not fail"_s;
    if (!QTest::qWaitFor([this] { return m_silent.hasPendingConnections(); }, timeoutMs) ||
        session(waiting)->lastState() != SessionState::connecting)
        return waiting + u" is not connecting"_s;
    return {};
}

QString SampleLibrary::stop()
{
    if (!m_app)
        return {};
    const QList<TunnelSession *> sessions = m_app->container().sessions();
    for (TunnelSession *session : sessions) {
        if (!isIdle(session->lastState()))
            session->disconnect();
    }
    QStringList running;
    for (TunnelSession *session : sessions) {
        if (!QTest::qWaitFor([session] { return isIdle(session->lastState()); }, timeoutMs))
            running.append(session->config().name);
    }
    m_app.reset();
    m_sshd.stop();
    m_silent.close();
    return running.isEmpty() ? QString() : u"still running: "_s + running.join(u", "_s);
}

Profile *SampleLibrary::profile(const QString &name) const
{
    return profileNamed(*m_app->store().mainContext(), name);
}

TunnelSession *SampleLibrary::session(const QString &name) const
{
    return m_app->container().session(*profile(name)->uuid());
}
