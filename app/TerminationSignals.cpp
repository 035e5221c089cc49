#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> HandledSignals{SIGTERM, SIGHUP, SIGINT};

// [0] is written by the handler, [1] read on the GUI thread.
int g_pipe[2] = {-1, -1};

void OnSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds a request to end: losing this byte is fine.
    (void)!::write(g_pipe[0], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0) return;  // another object is active
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_active = true;
    for (size_t i = 0; i < HandledSignals.size(); ++i) {
        struct sigaction previous {};
        if (::sigaction(HandledSignals[i], nullptr, &previous) != 0) {
            m_active = false;
            continue;
        }
        if (previous.sa_handler == SIG_IGN) continue;  // started with nohup
        m_previous[i] = previous;
        m_installed[i] = ::sigaction(HandledSignals[i], &action, nullptr) == 0;
        if (!m_installed[i]) m_active = false;
    }
}

TerminationSignals::~TerminationSignals() {
    if (m_notifier == nullptr) return;
    for (size_t i = 0; i < HandledSignals.size(); ++i) {
        if (m_installed[i]) (void)::sigaction(HandledSignals[i], &m_previous[i], nullptr);
    }
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::OnReadable() {
    char byte = 0;
    if (::read(g_pipe[1], &byte, 1) == 1) emit Received(static_cast<unsigned char>(byte));
}
