// The main window over a library of 10,000 profiles: how long it takes to open and show its
// list, how long the list takes to follow a search, and the longest stall of the event loop
// while tunnels to a private sshd all change state at once (Connect All and Disconnect All in
// a tag), measured with the window and, for comparison, with the same core and no window;
// and how long pasting 1,000 copied profiles into the library takes.
//   bench_mainwindow [tunnels]
#include "benchlibrary.h"
#include "benchsupport.h"
#include "maincommands.h"
#include "mainwindow.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profiletransfer.h"
#include "sessioncontainer.h"
#include "settings.h"
#include "sidebarmodel.h"
#include "tag.h"
#include "vellappdelegate.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

const QString tunnelTag = u"bench tunnels"_s;

// The longest time the event loop went without running a timer that asks for every
// millisecond, and the most CPU time the main thread spent in one such gap: on a busy machine
// a gap may be time the thread waited for a processor rather than work it did.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 cpu = threadCpuNs();
            m_longest = std::max(m_longest, now - m_last);
            m_longestCpu = std::max(m_longestCpu, cpu - m_lastCpu);
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void start()
    {
        m_longest = m_longestCpu = 0;
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuNs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return double(m_longest) / 1e6; }
    double longestCpuMs() const { return double(m_longestCpu) / 1e6; }

private:
    static qint64 threadCpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_lastCpu = 0;
    qint64 m_longestCpu = 0;
};

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// The 10,000 profiles of the benchmark library, and the tunnels to the private sshd in a tag
// of their own.
void makeStore(const QString &path, const SshdFixture &sshd, int tunnels)
{
    if (!QFile::copy(benchLibraryPath(), path))
        qFatal("cannot copy the library");
    auto store = std::move(PersistenceController::open(StoreLocation::file(path))).value();
    ObjectContext &context = *store->mainContext();
    Tag *tag = context.insertTag();
    tag->setName(tunnelTag);
    for (int i = 0; i < tunnels; ++i) {
        Profile *profile = context.insertProfile();
        profile->setName(u"tunnel %1"_s.arg(i));
        profile->setAddress(u"127.0.0.1"_s);
        profile->setUser(u"root"_s);
        profile->setPort(sshd.port());
        profile->setRetryAttempts(0);
        profile->setStringOption(sshd.clientKey(), u"IdentityFile"_s);
        profile->addTag(tag);
    }
    if (auto error = context.save())
        qFatal("%s", qPrintable(error->message));
}

struct Storm
{
    double connectMs = 0;
    double connectedSeconds = 0;
    double connectStallMs = 0;
    double connectStallCpuMs = 0;
    double disconnectMs = 0;
    double disconnectStallMs = 0;
    double disconnectStallCpuMs = 0;
    int connected = 0;
};

// Starts every tunnel at once, waits until all are up, and stops them all at once; start and
// stop run from the event loop, as a menu command does.
Storm storm(const QList<TunnelSession *> &sessions, const std::function<void()> &connectAll,
            const std::function<void()> &disconnectAll)
{
    Storm result;
    StallMeter meter;
    QElapsedTimer clock;
    meter.start();
    clock.start();
    QTimer::singleShot(0, [&] {
        QElapsedTimer call;
        call.start();
        connectAll();
        result.connectMs = msSince(call);
    });
    const auto settled = [&] {
        return std::all_of(sessions.cbegin(), sessions.cend(), [](const TunnelSession *s) {
            return s->canConnect() || s->lastState() == SessionState::connected;
        });
    };
    pause(1);
    while (!settled() && clock.elapsed() < 300000)
        pause(20);
    result.connectedSeconds = double(clock.elapsed()) / 1000;
    meter.stop();
    result.connectStallMs = meter.longestMs();
    result.connectStallCpuMs = meter.longestCpuMs();
    result.connected = int(std::count_if(sessions.cbegin(), sessions.cend(), [](const auto *s) {
        return s->lastState() == SessionState::connected;
    }));
    pause(1000);

    meter.start();
    QTimer::singleShot(0, [&] {
        QElapsedTimer call;
        call.start();
        disconnectAll();
        result.disconnectMs = msSince(call);
    });
    pause(1);
    clock.restart();
    while (!std::all_of(sessions.cbegin(), sessions.cend(), [](const TunnelSession *s) {
        return s->canConnect();
    }) && clock.elapsed() < 60000)
        pause(20);
    meter.stop();
    result.disconnectStallMs = meter.longestMs();
    result.disconnectStallCpuMs = meter.longestCpuMs();
    return result;
}

void print(const char *label, const Storm &storm, int count)
{
    printf("%s: %d of %d connected in %.1f s\n", label, storm.connected, count,
           storm.connectedSeconds);
    printf("  Connect All: the command ran %.1f ms; longest stall %.1f ms, most main-thread CPU "
           "in one gap %.1f ms\n",
           storm.connectMs, storm.connectStallMs, storm.connectStallCpuMs);
    printf("  Disconnect All: the command ran %.1f ms; longest stall %.1f ms, most main-thread "
           "CPU in one gap %.1f ms\n",
           storm.disconnectMs, storm.disconnectStallMs, storm.disconnectStallCpuMs);
}

// Types the text into the search field a key at a time; the longest key, list painted.
double typeSearch(MainWindow &window, QLineEdit *search, const QString &text)
{
    double longest = 0;
    for (qsizetype i = 1; i <= text.size(); ++i) {
        QElapsedTimer clock;
        clock.start();
        search->setText(text.left(i));
        window.repaint();
        longest = std::max(longest, msSince(clock));
    }
    return longest;
}

// Copies 1,000 profiles and pastes them as copies, as Ctrl+C and Ctrl+V do, with the window
// showing the library.
void pasteThousandCopies(VellAppDelegate &app, MainWindow &window)
{
    ObjectContext &context = *app.store().mainContext();
    const QList<Profile *> copied = context.profiles().mid(0, 1000);
    ProfileTransfer transfer(
        context, [&app] { return app.invocationInputs(); }, &window);
    transfer.setFocusSource([&copied] { return ProfileTransfer::Focus{copied, nullptr}; });
    transfer.copyAction()->trigger();
    const qsizetype before = context.profiles().size();
    QElapsedTimer clock;
    clock.start();
    transfer.pasteAction()->trigger();
    window.repaint();
    printf("paste of 1,000 copied profiles into %lld: %.0f ms, %lld added\n",
           static_cast<long long>(before), msSince(clock),
           static_cast<long long>(context.profiles().size() - before));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    QTemporaryDir dir;
    VellAppDelegate::Options options;
    options.storePath = dir.path() + u"/VellSSH.sqlite"_s;
    options.settingsPath = dir.path() + u"/VellSSH.conf"_s;
    options.serviceProgram = QStringLiteral(VELLSSH_SERVICE);
    options.askPassProgram = VellAppDelegate::defaultAskPassProgram(options.serviceProgram);
    options.autoConnect = false;
    makeStore(options.storePath, server.sshd(), count);
    if (Settings(options.settingsPath)
            .set(SettingKeys::userConfigFilePath, server.sshd().clientConfig()))
        return 1;

    QElapsedTimer clock;
    clock.start();
    auto started = VellAppDelegate::start(options);
    if (!started)
        return 1;
    VellAppDelegate &app = **started;
    printf("core started with %d profiles in %.0f ms\n", benchProfileCount + count, msSince(clock));

    clock.restart();
    auto window = std::make_unique<MainWindow>(app);
    window->show();
    window->repaint();
    printf("window open, list of %d shown: %.0f ms (target < 1000)\n", benchProfileCount + count,
           msSince(clock));

    auto *search = window->findChild<QLineEdit *>(u"search"_s);
    QList<double> searches;
    for (const QString &text : {u"database"_s, u"rack 7"_s, u"server 4242"_s, u"team 12 api"_s,
                                u"10.3.17"_s, QString()}) {
        clock.restart();
        search->setText(text);
        window->repaint();
        searches.append(msSince(clock));
        printf("  search \"%s\": %d rows in %.1f ms\n", qPrintable(text),
               window->findChild<QAbstractItemView *>(u"profileList"_s)->model()->rowCount(),
               searches.last());
    }
    printf("search updating the list: median %.1f ms, longest %.1f ms (first one included; "
           "target < 50)\n",
           median(searches), *std::max_element(searches.cbegin(), searches.cend()));
    printf("typing \"server 4242\" key by key: longest key %.1f ms\n",
           typeSearch(*window, search, u"server 4242"_s));
    search->clear();

    ObjectContext &context = *app.store().mainContext();
    pasteThousandCopies(app, *window);

    Tag *tag = tagNamed(tunnelTag, context);
    auto *sidebar = window->findChild<QListView *>(u"sidebar"_s);
    sidebar->setCurrentIndex(
        static_cast<SidebarModel *>(sidebar->model())->indexOf(SidebarItem::forTag(tag)));
    QList<TunnelSession *> sessions;
    for (Profile *profile : tag->profiles())
        sessions.append(app.container().session(*profile->uuid()));
    const Storm withWindow = storm(
        sessions, [&] { window->commands().connectAll->trigger(); },
        [&] { window->commands().disconnectAll->trigger(); });
    print("with the window (Connect All in Tag)", withWindow, count);

    window.reset();
    pause(1000);
    const QList<Profile *> tunnels = tag->profiles();
    const Storm core = storm(
        sessions, [&] { app.container().connectAll(tunnels); },
        [&] { app.container().disconnectAll(tunnels); });
    print("same core, no window", core, count);
    return withWindow.connected == count && core.connected == count ? 0 : 1;
}
