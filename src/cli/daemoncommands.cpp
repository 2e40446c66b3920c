#include "daemoncommands.h"

#include "localized.h"
#include "profileflags.h"
#include "tunnelinterface.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QHash>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString serviceName = u"io.vellssh.Tunnel"_s;
const QString objectPath = u"/io/vellssh/Tunnel"_s;

// Asks on the terminal, without echo for secrets; with no terminal, the answer is the next
// line of standard input. End of input cancels.
std::optional<QString> askPerson(const QString &message, bool secret)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    const int in = tty >= 0 ? tty : STDIN_FILENO;
    const QByteArray question = message.toUtf8() + ' ';
    [[maybe_unused]] ssize_t written =
        ::write(tty >= 0 ? tty : STDERR_FILENO, question.constData(), size_t(question.size()));
    termios saved{};
    const bool hide = secret && tty >= 0 && ::tcgetattr(tty, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    char byte = 0;
    bool ended = true;
    while (::read(in, &byte, 1) == 1) {
        if (byte == '\n') {
            ended = false;
            break;
        }
        line += byte;
    }
    if (hide) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
        written = ::write(tty, "\n", 1);
    }
    if (tty >= 0)
        ::close(tty);
    if (ended && line.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(line);
}

bool isSettled(const QString &state, bool connecting)
{
    if (connecting)
        return state == u"connected"_s || state == u"abnormalDisconnect"_s ||
               state == u"retrying"_s;
    return state == u"disconnected"_s || state == u"abnormalDisconnect"_s ||
           state == u"notConnected"_s || state.isEmpty();
}

// Notices the application leaving the bus while a command waits for it.
class DaemonExit
{
public:
    DaemonExit(QTextStream &err, std::function<void()> stop)
        : m_watcher(serviceName, QDBusConnection::sessionBus(),
                    QDBusServiceWatcher::WatchForUnregistration)
    {
        QObject::connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, &m_watcher,
                         [this, &err, stop = std::move(stop)] {
                             m_gone = true;
                             err << localized("VellSSH stopped.") << Qt::endl;
                             stop();
                         });
    }
    bool gone() const { return m_gone; }

private:
    QDBusServiceWatcher m_watcher;
    bool m_gone = false;
};

} // namespace

bool DaemonCommands::handles(const QString &verb)
{
    static const QStringList verbs = {u"connect"_s, u"disconnect"_s, u"reconnect"_s, u"status"_s,
                                      u"log"_s};
    return verbs.contains(verb);
}

int DaemonCommands::run(const QString &verb, const QStringList &arguments)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(serviceName)) {
        m_err << localized("VellSSH is not running. Start it with: vellssh --headless") << Qt::endl;
        return 1;
    }
    if (verb == u"status"_s)
        return status(arguments);
    if (verb == u"log"_s)
        return log(arguments);
    return change(verb, arguments);
}

int DaemonCommands::change(const QString &verb, const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"--tag"_s}, {u"--all"_s, u"--no-wait"_s});
    const int selections = flags ? int(flags->values.contains(u"--tag"_s)) +
                                       int(flags->switches.contains(u"--all"_s)) +
                                       int(!flags->positionals.isEmpty())
                                 : 0;
    if (!flags || selections != 1 || (verb == u"reconnect"_s && flags->positionals.isEmpty())) {
        m_err << localized("%1 takes PROFILE..., --tag NAME or --all.").arg(verb) << Qt::endl;
        return 2;
    }
    IoVellsshTunnelInterface tunnel(serviceName, objectPath, QDBusConnection::sessionBus());
    const bool connecting = verb != u"disconnect"_s;
    QHash<QString, QString> states;
    QHash<QString, QString> summaries;
    QEventLoop loop;
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::StateChanged, &loop,
                     [&](const QString &uuid, const QString &state, const QString &summary) {
                         states.insert(uuid, state);
                         summaries.insert(uuid, summary);
                         loop.quit();
                     });

    struct Question
    {
        uint id;
        QString uuid;
        QString message;
        bool secret;
        QString remember;
    };
    QList<Question> questions;
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::PromptRequested, &loop,
                     [&](uint id, const QString &uuid, const QString &, const QString &message,
                         bool secret, const QString &remember) {
                         questions.append({id, uuid, message, secret, remember});
                         loop.quit();
                     });

    QDBusPendingReply<QStringList> reply;
    const bool all = flags->switches.contains(u"--all"_s);
    const QString tag = flags->values.value(u"--tag"_s);
    if (verb == u"connect"_s)
        reply = all              ? tunnel.ConnectAll()
                : !tag.isEmpty() ? tunnel.ConnectWithTag(tag)
                                 : tunnel.Connect(flags->positionals);
    else if (verb == u"disconnect"_s)
        reply = all              ? tunnel.DisconnectAll()
                : !tag.isEmpty() ? tunnel.DisconnectWithTag(tag)
                                 : tunnel.Disconnect(flags->positionals);
    else
        reply = tunnel.Reconnect(flags->positionals);
    reply.waitForFinished();
    if (reply.isError()) {
        m_err << reply.error().message() << Qt::endl;
        return 1;
    }
    const QStringList uuids = reply.value();
    if (flags->switches.contains(u"--no-wait"_s) || uuids.isEmpty())
        return 0;

    QHash<QString, QString> names;
    for (const QString &uuid : uuids) {
        QDBusPendingReply<QVariantMap> status = tunnel.Status(uuid);
        status.waitForFinished();
        names.insert(uuid, status.value().value(u"name"_s).toString());
        if (!states.contains(uuid)) {
            states.insert(uuid, status.value().value(u"state"_s).toString());
            summaries.insert(uuid, status.value().value(u"summary"_s).toString());
        }
    }
    // A reconnect passes through a settled state before it starts again.
    QSet<QString> started;
    auto settled = [&] {
        return std::all_of(uuids.cbegin(), uuids.cend(), [&](const QString &uuid) {
            const QString state = states.value(uuid);
            if (verb == u"reconnect"_s && !started.contains(uuid)) {
                if (state == u"connecting"_s)
                    started.insert(uuid);
                return false;
            }
            return isSettled(state, connecting);
        });
    };
    // Questions of our own runs are answered here; others belong to other clients.
    auto answerQuestions = [&] {
        while (!questions.isEmpty()) {
            const Question question = questions.takeFirst();
            if (!uuids.contains(question.uuid))
                continue;
            const auto answer =
                askPerson(names.value(question.uuid) + u": "_s + question.message, question.secret);
            const bool remember = answer && !question.remember.isEmpty() &&
                                  askPerson(question.remember + u"? [y/N]"_s, false)
                                      .value_or(QString())
                                      .trimmed()
                                      .startsWith(u'y', Qt::CaseInsensitive);
            tunnel.AnswerPrompt(question.id, answer.value_or(QString()), !answer, remember)
                .waitForFinished();
        }
    };
    const DaemonExit exit(m_err, [&loop] { loop.quit(); });
    answerQuestions();
    while (!settled()) {
        loop.exec();
        if (exit.gone())
            return 1;
        answerQuestions();
    }

    int code = 0;
    for (const QString &uuid : uuids) {
        const bool ok = !connecting || states.value(uuid) == u"connected"_s;
        m_out << names.value(uuid) << u": "_s << summaries.value(uuid);
        if (!ok && states.value(uuid) == u"retrying"_s)
            m_out << u" ("_s << localized("retrying in the background") << u')';
        m_out << Qt::endl;
        code = ok ? code : 1;
    }
    return code;
}

int DaemonCommands::status(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--watch"_s});
    if (!flags || !flags->positionals.isEmpty()) {
        m_err << localized("status takes only --watch.") << Qt::endl;
        return 2;
    }
    IoVellsshTunnelInterface tunnel(serviceName, objectPath, QDBusConnection::sessionBus());
    QDBusPendingReply<QList<QVariantMap>> reply = tunnel.ListProfiles();
    reply.waitForFinished();
    if (reply.isError()) {
        m_err << reply.error().message() << Qt::endl;
        return 1;
    }
    QHash<QString, QString> names;
    for (const QVariantMap &profile : reply.value()) {
        names.insert(profile.value(u"uuid"_s).toString(), profile.value(u"name"_s).toString());
        const QString text = profile.value(u"textState"_s).toString();
        m_out << profile.value(u"name"_s).toString() << u'\t'
              << (text.isEmpty() ? localized("Not Connected") : text) << u'\t'
              << profile.value(u"summary"_s).toString() << Qt::endl;
    }
    if (!flags->switches.contains(u"--watch"_s))
        return 0;
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::StateChanged, &tunnel,
                     [&](const QString &uuid, const QString &state, const QString &summary) {
                         m_out << names.value(uuid, uuid) << u'\t' << state << u'\t' << summary
                               << Qt::endl;
                     });
    const DaemonExit exit(m_err, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}

int DaemonCommands::log(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--follow"_s});
    if (!flags || flags->positionals.size() != 1) {
        m_err << localized("log takes one PROFILE.") << Qt::endl;
        return 2;
    }
    IoVellsshTunnelInterface tunnel(serviceName, objectPath, QDBusConnection::sessionBus());
    QDBusPendingReply<QVariantMap> status = tunnel.Status(flags->positionals.first());
    status.waitForFinished();
    if (status.isError()) {
        m_err << status.error().message() << Qt::endl;
        return 1;
    }
    const QString uuid = status.value().value(u"uuid"_s).toString();
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::LogLine, &tunnel,
                     [&](const QString &from, const QString &line) {
                         if (from == uuid)
                             m_out << line << Qt::endl;
                     });
    QDBusPendingReply<QString> text = tunnel.Log(uuid);
    text.waitForFinished();
    if (!text.value().isEmpty())
        m_out << text.value() << Qt::endl;
    if (!flags->switches.contains(u"--follow"_s))
        return 0;
    const DaemonExit exit(m_err, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}
