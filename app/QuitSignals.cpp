#include "app/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void QuitSignals::ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    ignoreBrokenPipe();
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // then the signals keep their default: the program ends at once
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void QuitSignals::readPipe()
{
    unsigned char bytes[16];
    int last = 0;
    for (ssize_t n; (n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0;)
        last = bytes[n - 1];
    if (last != 0)
        emit quitAsked(last);
}
