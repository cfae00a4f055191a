#include "platform/TerminationSignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to a descriptor; the notifier reads it on the main thread.
int SignalFds[2] = {-1, -1};
constexpr std::array<int, 3> Handled = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int Number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(Number);
    [[maybe_unused]] const ssize_t n = ::write(SignalFds[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* Parent) : QObject(Parent)
{
    if (SignalFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalFds) != 0)
        return;
    ::fcntl(SignalFds[0], F_SETFL, O_NONBLOCK);
    Notifier_ = new QSocketNotifier(SignalFds[1], QSocketNotifier::Read, this);
    connect(Notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    Installed_ = true;
    for (int number : Handled)
        Installed_ = ::sigaction(number, &action, nullptr) == 0 && Installed_;
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : Handled)
        ::sigaction(number, &action, nullptr);
    delete Notifier_;
    for (int& fd : SignalFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(SignalFds[1], &byte, 1) == 1)
        Q_EMIT Requested(byte);
}
