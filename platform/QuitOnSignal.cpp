// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSockets[2] = {-1, -1};

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: if the socket is full a quit is already pending.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool quitOnTerminationSignals(QCoreApplication* app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return false;

    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char buffer[16];
        while (::read(signalSockets[1], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}
