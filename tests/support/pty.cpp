#include "pty.h"

#include <QElapsedTimer>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace rig {

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
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

void Pty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const auto n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        else usleep(1000);
    }
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

} // namespace rig
