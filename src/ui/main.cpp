// vellssh: the application. With --headless it runs without any window: the store, the
// sessions and the D-Bus interface, until it is told to quit. Otherwise the same core runs
// behind the main window.
#include "mainwindow.h"
#include "persistencecontroller.h"
#include "tunnelservice.h"
#include "vellappdelegate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
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

} // namespace

int main(int argc, char *argv[])
{
    const bool headless = isHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app = headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"vellssh"_s);
    QCoreApplication::setOrganizationName(u"VellSSH"_s);
    quitOnSignals();
    auto delegate = VellAppDelegate::start(VellAppDelegate::defaultOptions());
    if (!delegate) {
        fprintf(stderr, "%s\n", qPrintable(delegate.error().message));
        return 1;
    }
    TunnelService service((*delegate)->store().mainContext(), (*delegate)->store().historyKit(),
                          &(*delegate)->container());
    (*delegate)->setPromptPresenter([&service](const PromptRequest &request, PromptAnswer answer) {
        service.present(request, std::move(answer));
    });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (const QString problem = service.registerOn(bus); !problem.isEmpty()) {
        fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    std::unique_ptr<MainWindow> window;
    if (!headless) {
        QApplication::setQuitOnLastWindowClosed(false);
        window = std::make_unique<MainWindow>(**delegate);
        window->show();
    }
    const int code = QCoreApplication::exec();
    bus.unregisterService(TunnelService::serviceName);
    return code;
}
