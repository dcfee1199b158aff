#include "platform/shutdown_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrion {

namespace {

volatile sig_atomic_t g_writeFd = -1;
constexpr int kSignals[] = {SIGTERM, SIGINT};

extern "C" void onShutdownSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = g_writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: if the pipe is full a request is already pending.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

bool setFlags(int fd)
{
    const int fdFlags = ::fcntl(fd, F_GETFD);
    const int flFlags = ::fcntl(fd, F_GETFL);
    // Close-on-exec keeps the pipe out of programs the user launches from us.
    return fdFlags >= 0 && flFlags >= 0 && ::fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) == 0
        && ::fcntl(fd, F_SETFL, flFlags | O_NONBLOCK) == 0;
}

} // namespace

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent)
{
}

ShutdownSignals::~ShutdownSignals()
{
    if (m_installed) {
        struct sigaction sa = {};
        sa.sa_handler = SIG_DFL;
        sigemptyset(&sa.sa_mask);
        for (int s : kSignals)
            ::sigaction(s, &sa, nullptr);
        g_writeFd = -1;
    }
    for (int& fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool ShutdownSignals::install()
{
    if (m_installed)
        return true;
    if (g_writeFd >= 0)
        return false; // another instance owns the handlers
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds) != 0)
        return false;
    if (!setFlags(m_fds[0]) || !setFlags(m_fds[1])) {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
        m_fds[0] = m_fds[1] = -1;
        return false;
    }
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::readPending);
    g_writeFd = m_fds[0];

    struct sigaction sa = {};
    sa.sa_handler = onShutdownSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    m_installed = true;
    return true;
}

void ShutdownSignals::readPending()
{
    unsigned char buffer[16];
    int last = 0;
    ssize_t n;
    while ((n = ::read(m_fds[1], buffer, sizeof buffer)) > 0)
        last = buffer[n - 1];
    if (last != 0)
        Q_EMIT requested(last);
}

} // namespace kestrion
