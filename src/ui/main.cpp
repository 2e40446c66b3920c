// vellssh: the application. With --headless it runs without any window: the store, the
// sessions and the D-Bus interface, until it is told to quit. Otherwise the same core runs
// behind the main window.
#include "desktopapplication.h"
#include "localized.h"
#include "persistencecontroller.h"
#include "singleinstance.h"
#include "softwareupdater.h"
#include "tunnelservice.h"
#include "vellappdelegate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
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

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so that tunnels end with the application.
void quitOnSignals()
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

bool isHeadless(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

// The files named on the command line; a note on standard error for every other argument.
QStringList launchFiles(bool headless)
{
    QStringList arguments = QCoreApplication::arguments().mid(1);
    arguments.removeAll(u"--headless"_s);
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

} // namespace

int main(int argc, char *argv[])
{
    const bool headless = isHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app = headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"vellssh"_s);
    QCoreApplication::setOrganizationName(u"VellSSH"_s);
    // What titles read; the application name above names files and the bus.
    if (!headless)
        QGuiApplication::setApplicationDisplayName(u"VellSSH"_s);
    quitOnSignals();
    const QStringList files = launchFiles(headless);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!headless) {
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
        if (!headless) {
            if (const std::optional<int> code = handOver(bus, files))
                return *code;
        }
        fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    if (desktop) {
        QObject::connect(&instance, &SingleInstance::activationRequested, desktop.get(),
                         &DesktopApplication::activate);
        desktop->start(files);
        desktop->updater().startAutomaticChecks();
    }
    const int code = QCoreApplication::exec();
    bus.unregisterService(TunnelService::serviceName);
    return code;
}
