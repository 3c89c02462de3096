// SIGTERM, SIGINT and SIGHUP as a Qt signal, through a self-pipe watched by the event loop.
#include "app/signal_watcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gw {
namespace {
int g_pipe[2] = {-1, -1};
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

sigset_t stopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int stop : kStopSignals)
        sigaddset(&stops, stop);
    return stops;
}

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}
} // namespace

void SignalWatcher::holdStopSignals() {
    const sigset_t stops = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int stop : kStopSignals) {
        // A node started under nohup was asked to outlive its terminal: SIGHUP stays ignored.
        struct sigaction before {};
        if (stop == SIGHUP && sigaction(SIGHUP, nullptr, &before) == 0 &&
            before.sa_handler == SIG_IGN)
            continue;
        sigaction(stop, &action, nullptr);
    }
    // A stop held back since start-up is delivered now, into the pipe.
    const sigset_t stops = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

SignalWatcher::~SignalWatcher() {
    for (const int stop : kStopSignals) {
        struct sigaction now {};
        if (sigaction(stop, nullptr, &now) == 0 && now.sa_handler == onSignal)
            signal(stop, SIG_DFL);
    }
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::readSignal() {
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    emit stopRequested();
}

} // namespace gw
