#include "loopback.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace unitsim {

Loopback::Loopback(const std::vector<std::string>& args) {
    ParseResult parsed = parseArguments(args);
    if (!parsed.error.empty()) {
        error_ = parsed.error;
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) {
        error_ = "socketpair failed";
        return;
    }
    ::fcntl(fds_[1], F_SETFL, ::fcntl(fds_[1], F_GETFL) | O_NONBLOCK);
    sim_ = std::make_unique<Simulator>(std::move(parsed.options), fds_[0]);
    error_ = sim_->error();
}

Loopback::~Loopback() {
    sim_.reset();
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

void Loopback::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) bytes.remove_prefix(std::size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        else pump(Ms(1));  // the simulator has to read before more fits
    }
}

void Loopback::pump(Ms maxWait) {
    if (sim_) sim_->step(maxWait);
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fds_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) buf_.append(buf, std::size_t(n));
}

std::optional<std::string> Loopback::readUntil(std::string_view pattern, Ms timeout) {
    const Time end = SteadyClock::now() + timeout;
    for (;;) {
        if (const auto at = buf_.find(pattern); at != std::string::npos) {
            std::string out = buf_.substr(0, at + pattern.size());
            buf_.erase(0, at + pattern.size());
            return out;
        }
        if (SteadyClock::now() >= end) return std::nullopt;
        pump(Ms(5));
    }
}

std::string Loopback::readFor(Ms duration) {
    const Time end = SteadyClock::now() + duration;
    while (SteadyClock::now() < end) pump(Ms(5));
    std::string out;
    out.swap(buf_);
    return out;
}

}  // namespace unitsim
