#include "pty.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtGlobal>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace rig {

Pty::Pty() {
    // Non-blocking, so that a write the program does not read fills the buffer and then
    // waits a bounded time for room instead of blocking for good.
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    // Raw on the slave side, so that no byte is changed on the way.
    const int s = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        tcsetattr(s, TCSANOW, &t);
        ::close(s);
    }
}

Pty::~Pty() { closeMaster(); }

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool Pty::write(const QByteArray& bytes, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const auto n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) break;
        // The terminal's buffer is full: wait until the program has read some of it. A hung-up
        // line, with nobody left to read, ends the wait.
        pollfd p{master_, POLLOUT, 0};
        if (deadline.hasExpired() || poll(&p, 1, int(deadline.remainingTime())) <= 0 || !(p.revents & POLLOUT)) break;
    }
    if (done < bytes.size()) qWarning("pty: %lld of %lld bytes written", qlonglong(done), qlonglong(bytes.size()));
    return done == bytes.size();
}

QByteArray readUntil(int fd, const QByteArray& until, int timeoutMs) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && (until.isEmpty() || !got.contains(until))) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const auto n = ::read(fd, buf, sizeof buf);
            if (n > 0) got.append(buf, n);
        }
    }
    return got;
}

QByteArray Pty::readUntil(const QByteArray& until, int timeoutMs) {
    return master_ >= 0 ? rig::readUntil(master_, until, timeoutMs) : QByteArray();
}

}  // namespace rig
