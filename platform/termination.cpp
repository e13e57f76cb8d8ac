#include "platform/termination.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plat {
namespace {

// The handler only writes a byte: the message loop sees it on the other end and does the rest.
int signalWriteFd = -1;

void onTerminationSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

void closeWindowsOnTermination() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return;
    signalWriteFd = fds[0];
    auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [fd = fds[1]] {
        char bytes[16];
        while (::read(fd, bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
    });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // A signal that comes twice (to the whole process group and again from the launcher that
    // passes it on) only closes again; a close that hangs is a matter for SIGKILL.
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        // A signal ignored by the starter stays ignored: `nohup ravlo` outlives its terminal.
        struct sigaction previous = {};
        if (::sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
}

}  // namespace plat
