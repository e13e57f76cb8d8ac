#include "line.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace unitsim {

using std::chrono::microseconds;

namespace {

// Time at which byte number n (counted from 1) of a paced run has fully left the line.
Time byteDone(Time epoch, std::uint64_t n) {
    return epoch + microseconds((n * 1'000'000 + bytesPerSecond - 1) / bytesPerSecond);
}

}  // namespace

Line::Line(int fd, bool paced) : fd_(fd), paced_(paced) {
    struct stat st {};
    socket_ = ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void Line::queue(Segment segment, Time now) {
    if (queue_.empty() && paced_ && byteDone(epoch_, sinceEpoch_) < now) {
        // The line has been quiet: the next byte starts its 10 bit times now.
        epoch_ = now;
        sinceEpoch_ = 0;
    }
    queue_.push_back(std::move(segment));
}

std::size_t Line::pendingBytes() const {
    std::size_t n = 0;
    for (const auto& s : queue_) n += s.bytes.size();
    return n - headWritten_;
}

std::size_t Line::writeSome(const char* data, std::size_t n) {
    const ssize_t r = socket_ ? ::send(fd_, data, n, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(fd_, data, n);
    if (r >= 0) return std::size_t(r);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        blocked_ = errno != EINTR;
        return 0;
    }
    broken_ = true;
    return 0;
}

std::vector<Sent> Line::flush(Time now) {
    std::vector<Sent> done;
    blocked_ = false;
    std::uint64_t allowance = UINT64_MAX;
    if (paced_) {
        const auto elapsed = std::chrono::duration_cast<microseconds>(now - epoch_).count();
        const std::uint64_t due = elapsed > 0 ? std::uint64_t(elapsed) * bytesPerSecond / 1'000'000 : 0;
        allowance = due > sinceEpoch_ ? due - sinceEpoch_ : 0;
    }
    while (!queue_.empty() && allowance > 0 && !broken_) {
        Segment& head = queue_.front();
        const std::size_t left = head.bytes.size() - headWritten_;
        const std::size_t want = std::size_t(std::min<std::uint64_t>(left, allowance));
        const std::size_t n = want ? writeSome(head.bytes.data() + headWritten_, want) : 0;
        if (n > 0) {
            headWritten_ += n;
            sinceEpoch_ += n;
            allowance -= n;
            lastWrite_ = now;
        }
        if (headWritten_ == head.bytes.size()) {
            done.push_back(Sent{std::move(head), headWritten_});
            queue_.pop_front();
            headWritten_ = 0;
            continue;
        }
        if (n < want) {
            // The reader is not keeping up. Pacing starts over once it has room again, so
            // that the line never sends faster than its speed after a stall.
            if (paced_) {
                epoch_ = now;
                sinceEpoch_ = 0;
            }
            break;
        }
    }
    if (broken_) {
        auto rest = discard();
        done.insert(done.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
    }
    return done;
}

std::vector<Sent> Line::discard() {
    std::vector<Sent> done;
    for (auto& s : queue_) {
        done.push_back(Sent{std::move(s), headWritten_});
        headWritten_ = 0;
    }
    queue_.clear();
    headWritten_ = 0;
    return done;
}

std::optional<Time> Line::nextDue() const {
    if (queue_.empty() || blocked_ || broken_) return std::nullopt;
    if (!paced_) return Time::min();
    return byteDone(epoch_, sinceEpoch_ + 1);
}

}  // namespace unitsim
