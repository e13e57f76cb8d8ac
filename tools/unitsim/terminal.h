#pragma once
// What the executable needs from the system around the simulator: the pseudo-terminal, the
// symbolic link that names it, and the control FIFO. Each removes what it made when it goes.
#include <string>

namespace unitsim {

// The master side of a new pseudo-terminal whose slave is in raw mode at 9600 bit/s.
class Pty {
public:
    Pty();  // check ok() and error()
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    int fd() const { return fd_; }
    const std::string& slavePath() const { return slave_; }

private:
    int fd_ = -1;
    std::string slave_;
    std::string error_;
};

// `path` as a symbolic link to `target`. A stale link left at `path` is replaced; anything
// else there is left alone and reported.
class SymLink {
public:
    SymLink(const std::string& target, std::string path);
    ~SymLink();
    SymLink(const SymLink&) = delete;
    SymLink& operator=(const SymLink&) = delete;

    bool ok() const { return made_; }
    const std::string& error() const { return error_; }

    // Points the link at `target` instead (the device plugged in again), in one step: the
    // name never dangles nor goes missing. False, with error(), when it could not.
    bool retarget(const std::string& target);

private:
    bool point(const std::string& target);

    std::string target_, path_, error_;
    bool made_ = false;
};

// A FIFO to read commands from, made when missing. Opened for reading and writing, so that it
// never reports an end when a writer goes away and opening it never waits for one.
class Fifo {
public:
    explicit Fifo(std::string path);
    ~Fifo();
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    int fd() const { return fd_; }

private:
    std::string path_, error_;
    int fd_ = -1;
    bool created_ = false;
};

}  // namespace unitsim
