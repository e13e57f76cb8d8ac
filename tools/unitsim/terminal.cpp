#include "terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace unitsim {

namespace {

std::string sysError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

Pty::Pty() {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd_ < 0) {
        error_ = sysError("posix_openpt");
        return;
    }
    char name[128];
    if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0 || ::ptsname_r(fd_, name, sizeof name) != 0) {
        error_ = sysError("pseudo-terminal setup");
        ::close(fd_);
        fd_ = -1;
        return;
    }
    slave_ = name;
    // Raw mode on the slave, so that nothing is translated before the program configures the
    // port itself. Closing the slave again leaves the master reporting a hang-up until the
    // program opens it, which is how the simulator knows whether anybody listens.
    const int s = ::open(name, O_RDWR | O_NOCTTY);
    if (s < 0) {
        error_ = sysError("open " + slave_);
        ::close(fd_);
        fd_ = -1;
        return;
    }
    termios t{};
    if (::tcgetattr(s, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B9600);
        ::tcsetattr(s, TCSANOW, &t);
    }
    ::close(s);
}

Pty::~Pty() {
    if (fd_ >= 0) ::close(fd_);
}

SymLink::SymLink(const std::string& target, std::string path) : target_(target), path_(std::move(path)) {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error_ = path_ + " exists and is not a symbolic link";
        return;
    }
    made_ = point(target_);
}

bool SymLink::retarget(const std::string& target) {
    if (!point(target)) return false;
    target_ = target;
    made_ = true;
    return true;
}

bool SymLink::point(const std::string& target) {
    // Made under a temporary name and renamed over the old link, so the name never dangles.
    const std::string tmp = path_ + ".unitsim-new";
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
        error_ = sysError("symlink " + path_);
        return false;
    }
    if (::rename(tmp.c_str(), path_.c_str()) != 0) {
        error_ = sysError("rename " + path_);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

SymLink::~SymLink() {
    if (!made_) return;
    // Only our own link: another instance may have taken the name over since.
    char buf[512];
    const ssize_t n = ::readlink(path_.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, std::size_t(n)) == target_) ::unlink(path_.c_str());
}

Fifo::Fifo(std::string path) : path_(std::move(path)) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            error_ = path_ + " exists and is not a FIFO";
            return;
        }
    } else if (::mkfifo(path_.c_str(), 0600) == 0) {
        created_ = true;
    } else {
        error_ = sysError("mkfifo " + path_);
        return;
    }
    fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK);
    if (fd_ < 0) error_ = sysError("open " + path_);
}

Fifo::~Fifo() {
    if (fd_ >= 0) ::close(fd_);
    if (created_) ::unlink(path_.c_str());
}

}  // namespace unitsim
