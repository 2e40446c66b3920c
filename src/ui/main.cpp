// vellssh: the application. With --headless it runs without any window: the store, the
// sessions and the D-Bus interface, until it is told to quit. Otherwise the same core runs
// behind the main window. --background, which the bus uses to start it on a client's request,
// starts the desktop application without its window when there is a display to open it on
// later, and the headless core when there is none.
#include "buildinfo.h"
#include "desktopapplication.h"
#include "localized.h"
#include "persistencecontroller.h"
#include "servicemanager.h"
#include "singleinstance.h"
#include "softwareupdater.h"
#include "standarderrorlog.h"
#include "tunnelservice.h"
#include "vellappdelegate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char helpText[] =
    "Usage: vellssh [--headless | --background] [FILE.velltunnel | FILE.vellshell]...\n"
    "A desktop manager for SSH tunnels: opens the main window, or hands the files to the\n"
    "instance that runs already.\n"
    "\n"
    "  --headless    run without any window: the tunnels, the profile store and the D-Bus\n"
    "                service io.vellssh.Tunnel that vellssh-cli drives. It prints\n"
    "                \"vellssh: ready\" once it serves; SIGTERM and SIGINT end it with its\n"
    "                tunnels, SIGHUP is ignored.\n"
    "  --background  start without opening the main window, as D-Bus activation does for\n"
    "                vellssh-cli: the desktop application when a display is available (a\n"
    "                later vellssh opens its window), --headless otherwise\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n";

int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so that tunnels end with the application. Headless,
// a hangup (the terminal it was started from closes) is no reason to end: handled rather than
// ignored, so that the programs it starts get the default disposition again.
void handleSignals(bool headless)
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char signal = 0;
        if (::read(signalPipe[0], &signal, 1) == 1 && signal != SIGHUP)
            QCoreApplication::quit();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    if (headless)
        ::sigaction(SIGHUP, &action, nullptr);
}

bool hasArgument(int argc, char *argv[], const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

// The answer to --help or --version, which needs neither a display nor a bus.
std::optional<int> answerInformation(int argc, char *argv[])
{
    if (hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h")) {
        fputs(helpText, stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version")) {
        printf("vellssh %s\n", BuildInfo::version);
        return 0;
    }
    return std::nullopt;
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool isModeOption(const QString &argument)
{
    return argument == u"--headless"_s || argument == u"--background"_s;
}

// The first option that is neither ours nor one the toolkit took for itself.
std::optional<QString> unknownOption()
{
    for (const QString &argument : QCoreApplication::arguments().mid(1)) {
        if (argument.startsWith(u'-') && !isModeOption(argument))
            return argument;
    }
    return std::nullopt;
}

// The files named on the command line; a note on standard error for every other argument.
QStringList launchFiles(bool headless)
{
    QStringList arguments = QCoreApplication::arguments().mid(1);
    arguments.removeIf(isModeOption);
    const SingleInstance::LaunchFiles launch = SingleInstance::launchFiles(arguments);
    for (const QString &ignored : launch.ignored)
        fprintf(stderr, "%s\n",
                qPrintable(localized("vellssh: “%1” is no .velltunnel or .vellshell file and was "
                                     "ignored.")
                               .arg(ignored)));
    if (headless && !launch.files.isEmpty()) {
        fprintf(stderr, "%s\n",
                qPrintable(localized("vellssh --headless opens no files: import them with "
                                     "vellssh-cli import FILE.")));
        return {};
    }
    return launch.files;
}

// The exit code when a running instance took the files (0) or refused them, none when this
// start is the application.
std::optional<int> handOver(QDBusConnection &bus, const QStringList &files)
{
    const SingleInstance::Handover handover = SingleInstance::handOver(bus, files);
    switch (handover.outcome) {
    case SingleInstance::Handover::Outcome::nobodyRunning:
        return std::nullopt;
    case SingleInstance::Handover::Outcome::handedOver:
        return 0;
    case SingleInstance::Handover::Outcome::refused:
        fprintf(stderr, "%s\n", qPrintable(handover.message));
        return 1;
    }
    return std::nullopt;
}

// A second headless start gives up before the start-up work of the core, whose warnings
// would only confuse the reason it ends.
bool nameTaken(QDBusConnection &bus)
{
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(TunnelService::serviceName))
        return false;
    fprintf(
        stderr, "%s\n",
        qPrintable(u"Another VellSSH is already running on this session bus (%1 is taken)."_s.arg(
            TunnelService::serviceName)));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> code = answerInformation(argc, argv))
        return *code;
    const bool background = hasArgument(argc, argv, "--background");
    const bool headless = hasArgument(argc, argv, "--headless") || (background && !hasDisplay());
    if (headless)
        StandardErrorLog::install();
    std::unique_ptr<QCoreApplication> app = headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    if (const std::optional<QString> option = unknownOption()) {
        fprintf(stderr, "%s\n",
                qPrintable(localized("vellssh: unknown option “%1”.\nTry “vellssh --help” for "
                                     "the options.")
                               .arg(*option)));
        return 2;
    }
    QCoreApplication::setApplicationName(u"vellssh"_s);
    QCoreApplication::setOrganizationName(u"VellSSH"_s);
    // What titles read; the application name above names files and the bus.
    if (!headless) {
        QGuiApplication::setApplicationDisplayName(u"VellSSH"_s);
        // Names the desktop entry, whose icon a Wayland compositor shows for the windows.
        QGuiApplication::setDesktopFileName(u"io.vellssh.VellSSH"_s);
    }
    handleSignals(headless);
    const QStringList files = launchFiles(headless);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (headless && nameTaken(bus))
        return 1;
    // Started in the background, it leaves a running instance's window alone.
    if (!headless && !background) {
        if (const std::optional<int> code = handOver(bus, files))
            return *code;
    }
    VellAppDelegate::Options options = VellAppDelegate::defaultOptions();
    options.followLoginItem = !headless;
    auto delegate = VellAppDelegate::start(options);
    if (!delegate) {
        fprintf(stderr, "%s\n", qPrintable(delegate.error().message));
        return 1;
    }
    TunnelService service((*delegate)->store(), &(*delegate)->container());
    std::unique_ptr<DesktopApplication> desktop;
    if (headless) {
        (*delegate)->setPromptPresenter(
            [&service](const PromptRequest &request, PromptAnswer answer) {
                service.present(request, std::move(answer));
            });
    } else {
        desktop = std::make_unique<DesktopApplication>(**delegate, service, options.serviceProgram);
    }
    // Exported before the name is taken, so that a later start finds it as soon as the name.
    SingleInstance instance(!headless);
    if (const QString problem = instance.registerOn(bus); !problem.isEmpty()) {
        fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    if (const QString problem = service.registerOn(bus); !problem.isEmpty()) {
        // Two desktop starts at once: the one that lost the name hands over to the other.
        if (!headless && !background) {
            if (const std::optional<int> code = handOver(bus, files))
                return *code;
        }
        fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    if (desktop) {
        QObject::connect(&instance, &SingleInstance::activationRequested, desktop.get(),
                         &DesktopApplication::activate);
        // In the background only files open the window; otherwise a later start asks for it.
        if (!background || !files.isEmpty())
            desktop->start(files);
        desktop->updater().startAutomaticChecks();
    } else {
        // Whoever started it may now use the bus name; under systemd, a notify unit is up.
        printf("vellssh: ready\n");
        fflush(stdout);
        ServiceManager::notify("READY=1");
    }
    const int code = QCoreApplication::exec();
    if (headless)
        ServiceManager::notify("STOPPING=1");
    bus.unregisterService(TunnelService::serviceName);
    return code;
}
