#include "daemoncommands.h"

#include "localized.h"
#include "profileflags.h"
#include "sessioncontainer.h"
#include "sessionstate.h"
#include "tunnelinterface.h"
#include "uniquefd.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QHash>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString serviceName = u"io.vellssh.Tunnel"_s;
const QString objectPath = u"/io/vellssh/Tunnel"_s;

// Asks on the terminal, without echo for secrets; with no terminal, the answer is the next
// line of standard input. End of input cancels. Lines are read as they come, inside the event
// loop, so that a question withdrawn while it is asked stops being asked.
class Asker
{
public:
    using Done = std::function<void(std::optional<QString>)>;

    Asker()
        : m_tty(::open("/dev/tty", O_RDWR | O_CLOEXEC)), m_in(m_tty ? m_tty.get() : STDIN_FILENO),
          m_notifier(m_in, QSocketNotifier::Read)
    {
        m_notifier.setEnabled(false);
        QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier,
                         [this] { readAvailable(); });
    }
    ~Asker() { showTyping(); }
    Asker(const Asker &) = delete;
    Asker &operator=(const Asker &) = delete;

    bool asking() const { return bool(m_done); }

    void ask(const QString &message, bool secret, Done done)
    {
        Q_ASSERT(!asking());
        say(message.toUtf8() + ' ');
        if (secret && m_tty && ::tcgetattr(m_tty.get(), &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            m_hidden = ::tcsetattr(m_tty.get(), TCSAFLUSH, &quiet) == 0;
        }
        m_done = std::move(done);
        takeLine();
        listen();
    }

    // The question is no longer asked; what is typed next answers the next one.
    void withdraw(const QString &why)
    {
        if (!asking())
            return;
        m_done = nullptr;
        listen();
        showTyping();
        say("\n" + why.toUtf8() + '\n');
    }

private:
    void say(const QByteArray &text) const
    {
        [[maybe_unused]] const ssize_t written =
            ::write(m_tty ? m_tty.get() : STDERR_FILENO, text.constData(), size_t(text.size()));
    }
    void showTyping()
    {
        if (std::exchange(m_hidden, false)) {
            ::tcsetattr(m_tty.get(), TCSAFLUSH, &m_saved);
            say("\n");
        }
    }
    void readAvailable()
    {
        char chunk[4096];
        const ssize_t got = ::read(m_in, chunk, sizeof chunk);
        if (got > 0)
            m_buffer.append(chunk, got);
        else if (got == 0 || (errno != EINTR && errno != EAGAIN))
            m_ended = true;
        takeLine();
        listen();
    }
    void listen() { m_notifier.setEnabled(asking() && !m_ended); }
    // Answers the question with the next line, or cancels it at the end of input.
    void takeLine()
    {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (!asking() || (newline < 0 && !m_ended))
            return;
        std::optional<QString> answer;
        if (newline >= 0) {
            answer = QString::fromUtf8(m_buffer.left(newline));
            m_buffer.remove(0, newline + 1);
        } else if (!m_buffer.isEmpty()) {
            answer = QString::fromUtf8(std::exchange(m_buffer, {}));
        }
        showTyping();
        std::exchange(m_done, nullptr)(answer);
    }

    UniqueFd m_tty;
    int m_in;
    QSocketNotifier m_notifier;
    QByteArray m_buffer;
    bool m_ended = false;
    termios m_saved{};
    bool m_hidden = false;
    Done m_done;
};

bool isSettled(const QString &state, bool connecting)
{
    // A connect also ends when the user disconnects the tunnel meanwhile: that is a normal end.
    if (connecting)
        return state == u"connected"_s || state == u"abnormalDisconnect"_s ||
               state == u"retrying"_s || state == u"disconnected"_s;
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
    std::optional<uint> current;
    Asker asker;
    // Names are known once the profiles resolved; questions of other clients' runs are left.
    QHash<QString, QString> names;
    std::function<void()> askNext = [&] {
        if (asker.asking() || names.isEmpty())
            return;
        questions.removeIf([&](const Question &q) { return !names.contains(q.uuid); });
        if (questions.isEmpty())
            return;
        const Question question = questions.takeFirst();
        current = question.id;
        auto send = [&, id = question.id](const std::optional<QString> &answer, bool remember) {
            current.reset();
            tunnel.AnswerPrompt(id, answer.value_or(QString()), !answer, remember)
                .waitForFinished();
            askNext();
        };
        asker.ask(names.value(question.uuid) + u": "_s + question.message, question.secret,
                  [&, question, send](const std::optional<QString> &answer) {
                      if (!answer || question.remember.isEmpty()) {
                          send(answer, false);
                          return;
                      }
                      asker.ask(question.remember + u"? [y/N]"_s, false,
                                [answer, send](const std::optional<QString> &keep) {
                                    send(answer, keep.value_or(QString()).trimmed().startsWith(
                                                     u'y', Qt::CaseInsensitive));
                                });
                  });
    };
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::PromptRequested, &loop,
                     [&](uint id, const QString &uuid, const QString &, const QString &message,
                         bool secret, const QString &remember) {
                         questions.append({id, uuid, message, secret, remember});
                         askNext();
                     });
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::PromptWithdrawn, &loop, [&](uint id) {
        questions.removeIf([&](const Question &q) { return q.id == id; });
        if (current != id)
            return;
        current.reset();
        asker.withdraw(localized("The question was withdrawn: its connection attempt ended."));
        askNext();
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

    QHash<QString, QString> resolved;
    for (const QString &uuid : uuids) {
        QDBusPendingReply<QVariantMap> status = tunnel.Status(uuid);
        status.waitForFinished();
        resolved.insert(uuid, status.value().value(u"name"_s).toString());
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
    names = resolved;
    const DaemonExit exit(m_err, [&loop] { loop.quit(); });
    askNext();
    while (!settled()) {
        loop.exec();
        if (exit.gone())
            return 1;
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
                         // The bus carries the state's name; people read the same text as in
                         // the listing above.
                         const std::optional<SessionState> known = sessionStateFromRaw(state);
                         m_out << names.value(uuid, uuid) << u'\t'
                               << (known ? textState(*known) : state) << u'\t' << summary
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
