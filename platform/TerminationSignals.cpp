#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
QSocketNotifier* g_notifier = nullptr;
std::function<void(int)> g_onSignal;

void handler(int signal)
{
    const unsigned char byte = static_cast<unsigned char>(signal);
    const int saved = errno;
    (void)!write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool TerminationSignals::install(std::function<void(int)> onSignal)
{
    uninstall();
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    g_onSignal = std::move(onSignal);
    g_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(g_notifier, &QSocketNotifier::activated, g_notifier, [] {
        unsigned char byte = 0;
        while (read(g_pipe[0], &byte, 1) == 1)
            if (g_onSignal)
                g_onSignal(byte);
    });
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
    return true;
}

void TerminationSignals::uninstall()
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        std::signal(signal, SIG_DFL);
    delete g_notifier;
    g_notifier = nullptr;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    g_onSignal = nullptr;
}

void TerminationSignals::ignoreBrokenPipes()
{
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}
