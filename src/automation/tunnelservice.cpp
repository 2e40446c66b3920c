#include "tunnelservice.h"

#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "queries.h"
#include "sessioncontainer.h"
#include "tag.h"
#include "tunneladaptor.h"
#include "uuidtext.h"
#include "vellshellopener.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDir>

using namespace Qt::StringLiterals;

namespace {

const QString notFoundError = u"io.vellssh.Error.NotFound"_s;
const QString ambiguousError = u"io.vellssh.Error.Ambiguous"_s;

QString errorName(int code)
{
    switch (code) {
    case profileNotFoundCode:
    case tagNotFoundCode:
        return notFoundError;
    case ambiguousProfileCode:
        return ambiguousError;
    case validationErrorCode:
    case unusableNameCode:
        return u"io.vellssh.Error.Invalid"_s;
    case vellShellNotInstalledCode:
        return u"io.vellssh.Error.NotInstalled"_s;
    default:
        return u"io.vellssh.Error.Failed"_s;
    }
}

QString uuidText(const Profile &profile)
{
    return profile.scriptUUID().value_or(QString());
}

} // namespace

TunnelService::TunnelService(PersistenceController &store, SessionContainer *container,
                             QObject *parent)
    : QObject(parent), m_context(store.mainContext()), m_history(store.historyKit()),
      m_actions(store), m_container(container)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    new TunnelAdaptor(this);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &TunnelService::requesterGone);
    for (TunnelSession *session : container->sessions())
        follow(session);
    connect(container, &SessionContainer::sessionsChanged, this, [this] {
        for (TunnelSession *session : m_container->sessions())
            follow(session);
    });
}

QString TunnelService::registerOn(QDBusConnection &bus)
{
    if (!bus.isConnected())
        return u"There is no D-Bus session bus: %1"_s.arg(bus.lastError().message());
    if (!bus.registerService(serviceName))
        return u"Another VellSSH is already running on this session bus (%1 is taken)."_s.arg(
            serviceName);
    if (!bus.registerObject(objectPath, this))
        return u"The object %1 could not be exported."_s.arg(objectPath);
    m_watcher.setConnection(bus);
    return {};
}

void TunnelService::rememberRequester(const QList<Profile *> &profiles)
{
    if (!calledFromDBus())
        return;
    const QString requester = message().service();
    for (const Profile *profile : profiles)
        m_requesters.insert(uuidText(*profile), requester);
    if (!m_watcher.watchedServices().contains(requester))
        m_watcher.addWatchedService(requester);
    // Open questions of these profiles go to the client that connects them now.
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->requester != requester && m_requesters.value(it->uuid) == requester) {
            it->requester = requester;
            ask(it.key(), *it);
        }
    }
}

void TunnelService::requesterGone(const QString &name)
{
    m_watcher.removeWatchedService(name);
    m_requesters.removeIf([&](const auto &entry) { return entry.value() == name; });
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->requester == name) {
            it->requester.clear();
            announceWaiting(it->uuid);
        }
    }
}

void TunnelService::present(const PromptRequest &request, PromptAnswer answer)
{
    if (!request.standing)
        return;
    const QString uuid = uuidText(request.sessionUUID);
    const uint id = ++m_nextPrompt;
    const Pending question{std::move(answer),
                           m_requesters.value(uuid),
                           uuid,
                           promptKind(request.type),
                           promptMessage(request),
                           isSecret(request.type),
                           rememberText(request.type).value_or(QString())};
    m_pending.insert(id, question);
    connect(request.standing, &QObject::destroyed, this, [this, id] { withdraw(id); });
    if (question.requester.isEmpty())
        announceWaiting(uuid);
    else
        ask(id, question);
}

bool TunnelService::hasRequester(const QUuid &session) const
{
    return m_requesters.contains(uuidText(session));
}

void TunnelService::ask(uint id, const Pending &question)
{
    Q_EMIT PromptRequested(id, question.uuid, question.kind, question.message, question.secret,
                           question.remember);
}

void TunnelService::withdraw(uint id)
{
    if (m_pending.remove(id))
        Q_EMIT PromptWithdrawn(id);
}

// Watchers learn that the session now waits for someone to answer.
void TunnelService::announceWaiting(const QString &uuid)
{
    if (const TunnelSession *session = m_container->existingSession(QUuid(uuid)))
        Q_EMIT StateChanged(uuid, rawValue(session->lastState()), session->statusSummary());
}

void TunnelService::AnswerPrompt(uint id, const QString &answer, bool cancelled, bool remember)
{
    auto it = m_pending.find(id);
    if (it == m_pending.end()) {
        sendErrorReply(notFoundError, u"No question %1 is waiting."_s.arg(id));
        return;
    }
    if (calledFromDBus() && message().service() != it->requester) {
        sendErrorReply(u"io.vellssh.Error.NotAllowed"_s,
                       u"Only the client that connects the profile may answer."_s);
        return;
    }
    PromptAnswer reply = std::move(it->answer);
    m_pending.erase(it);
    reply(cancelled ? std::nullopt : std::optional(PromptReply(answer, remember)));
}

void TunnelService::follow(TunnelSession *session)
{
    if (session->property("io.vellssh.followed").toBool())
        return;
    session->setProperty("io.vellssh.followed", true);
    connect(
        session, &SecureSession::stateChanged, this, [this](SecureSession *s, SessionState state) {
            Q_EMIT StateChanged(uuidText(s->config().uuid), rawValue(state), s->statusSummary());
        });
    connect(session->connectionLog(), &ConnectionLog::lineAppended, this,
            [this, session](const ConnectionLogLine &line) {
                Q_EMIT LogLine(uuidText(session->config().uuid), line.text());
            });
}

void TunnelService::readCommittedWrites()
{
    // The command line writes the store itself and then asks: the request must see that write
    // even when the history service has not polled since. It merges it as it would have a
    // moment later, de-duplication and announcements included.
    m_history->catchUp();
}

QList<Profile *> TunnelService::liveProfiles() const
{
    return profilesIn(*m_context, SidebarItem::all());
}

std::optional<QList<Profile *>> TunnelService::resolve(const QStringList &references)
{
    auto profiles = resolveProfiles(*m_context, references);
    if (!profiles) {
        fail(profiles.error());
        return std::nullopt;
    }
    return std::move(profiles).value();
}

void TunnelService::fail(const Error &error)
{
    sendErrorReply(errorName(error.code), error.message);
}

void TunnelService::reply(const ::Status &status)
{
    if (status)
        fail(*status);
}

QStringList TunnelService::uuids(const QList<Profile *> &profiles)
{
    QStringList result;
    for (const Profile *profile : profiles)
        result.append(uuidText(*profile));
    return result;
}

QVariantMap TunnelService::describe(const Profile &profile) const
{
    QStringList tags;
    for (const Tag *tag : profile.tags())
        tags.append(tag->name().value_or(QString()));
    QVariantMap map{{u"uuid"_s, uuidText(profile)},
                    {u"name"_s, profile.displayName()},
                    {u"tags"_s, tags},
                    {u"pinned"_s, profile.pinned()},
                    {u"textState"_s, m_container->textState(profile)}};
    const TunnelSession *session =
        profile.uuid() ? m_container->existingSession(*profile.uuid()) : nullptr;
    map.insert(u"state"_s, session ? rawValue(session->lastState()) : QString());
    map.insert(u"summary"_s, session ? session->statusSummary() : QString());
    map.insert(u"destination"_s,
               session ? session->destination() : profile.address().value_or(QString()));
    return map;
}

QList<QVariantMap> TunnelService::ListProfiles()
{
    readCommittedWrites();
    QList<QVariantMap> result;
    for (const Profile *profile : liveProfiles())
        result.append(describe(*profile));
    return result;
}

QVariantMap TunnelService::Status(const QString &reference)
{
    readCommittedWrites();
    const auto profiles = resolve({reference});
    return profiles ? describe(*profiles->first()) : QVariantMap();
}

QStringList TunnelService::Connect(const QStringList &references)
{
    readCommittedWrites();
    const auto profiles = resolve(references);
    if (!profiles)
        return {};
    rememberRequester(*profiles);
    m_container->connectAll(*profiles);
    return uuids(*profiles);
}

QStringList TunnelService::Disconnect(const QStringList &references)
{
    readCommittedWrites();
    const auto profiles = resolve(references);
    if (!profiles)
        return {};
    m_container->disconnectAll(*profiles);
    return uuids(*profiles);
}

QStringList TunnelService::Reconnect(const QStringList &references)
{
    readCommittedWrites();
    const auto profiles = resolve(references);
    if (!profiles)
        return {};
    rememberRequester(*profiles);
    for (Profile *profile : *profiles) {
        TunnelSession *session = m_container->session(*profile->uuid());
        if (session && session->canConnect())
            session->connect();
        else if (session)
            session->reconnect();
    }
    return uuids(*profiles);
}

QStringList TunnelService::ConnectByName(const QString &name)
{
    readCommittedWrites();
    QList<Profile *> profiles = liveProfiles();
    profiles.removeIf([&](const Profile *p) { return p->name() != name; });
    rememberRequester(profiles);
    m_container->connectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::DisconnectByName(const QString &name)
{
    readCommittedWrites();
    QList<Profile *> profiles = liveProfiles();
    profiles.removeIf([&](const Profile *p) { return p->name() != name; });
    m_container->disconnectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::ConnectWithTag(const QString &name)
{
    readCommittedWrites();
    Tag *tag = tagNamed(name.trimmed(), *m_context);
    const QList<Profile *> profiles =
        tag ? profilesIn(*m_context, SidebarItem::forTag(tag)) : QList<Profile *>();
    rememberRequester(profiles);
    m_container->connectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::DisconnectWithTag(const QString &name)
{
    readCommittedWrites();
    Tag *tag = tagNamed(name.trimmed(), *m_context);
    const QList<Profile *> profiles =
        tag ? profilesIn(*m_context, SidebarItem::forTag(tag)) : QList<Profile *>();
    m_container->disconnectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::ConnectAll()
{
    readCommittedWrites();
    const QList<Profile *> profiles = liveProfiles();
    rememberRequester(profiles);
    m_container->connectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::DisconnectAll()
{
    readCommittedWrites();
    const QList<Profile *> profiles = liveProfiles();
    m_container->disconnectAll(profiles);
    return uuids(profiles);
}

QString TunnelService::Log(const QString &reference)
{
    readCommittedWrites();
    const auto profiles = resolve({reference});
    if (!profiles)
        return {};
    const TunnelSession *session = m_container->existingSession(*profiles->first()->uuid());
    return session ? session->connectionLog()->toPlainText() : QString();
}

QStringList TunnelService::ConnectPinned()
{
    readCommittedWrites();
    QList<Profile *> profiles = liveProfiles();
    profiles.removeIf([](const Profile *p) { return !p->pinned(); });
    rememberRequester(profiles);
    m_container->connectAll(profiles);
    return uuids(profiles);
}

QStringList TunnelService::GetStatus(const QStringList &references)
{
    readCommittedWrites();
    const auto profiles = resolve(references);
    if (!profiles)
        return {};
    QStringList states;
    for (const Profile *profile : *profiles) {
        const TunnelSession *session = m_container->existingSession(*profile->uuid());
        states.append(rawValue(session ? session->lastState() : SessionState::notConnected));
    }
    return states;
}

void TunnelService::AddTags(const QStringList &profiles, const QStringList &tags)
{
    readCommittedWrites();
    reply(m_actions.addTags(profiles, tags));
}

void TunnelService::RemoveTags(const QStringList &profiles, const QStringList &tags)
{
    readCommittedWrites();
    reply(m_actions.removeTags(profiles, tags));
}

void TunnelService::CreateTag(const QString &name)
{
    readCommittedWrites();
    reply(m_actions.createTag(name));
}

void TunnelService::DeleteTags(const QStringList &tags)
{
    readCommittedWrites();
    reply(m_actions.deleteTags(tags));
}

void TunnelService::DeleteProfiles(const QStringList &profiles)
{
    readCommittedWrites();
    reply(m_actions.deleteProfiles(profiles));
}

QString TunnelService::ExportProfiles(const QStringList &profiles, const QString &baseName)
{
    readCommittedWrites();
    const Result<QString> file = m_actions.exportProfiles(profiles, baseName);
    if (!file) {
        fail(file.error());
        return {};
    }
    return *file;
}

QString TunnelService::ImportProfiles(const QString &file, bool replace)
{
    readCommittedWrites();
    if (QDir::isRelativePath(file)) {
        fail(Error(localized("“%1” is no absolute path: the application cannot tell where the "
                             "caller stands.")
                       .arg(file),
                   {}, validationErrorCode));
        return {};
    }
    const Result<QString> message = m_actions.importProfiles(file, replace);
    if (!message) {
        fail(message.error());
        return {};
    }
    return *message;
}

void TunnelService::OpenInShell(const QStringList &references)
{
    readCommittedWrites();
    if (const auto profiles = resolve(references))
        reply(VellShellOpener::open(*profiles));
}
