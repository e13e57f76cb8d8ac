#pragma once
// The simulator on one end of a socket pair, driven from the same thread as the other end:
// whoever plays the operator program writes bytes and reads what the modem and the unit send
// back, while every read runs the simulator's loop. Deterministic and fast (with --fast).
#include "simulator.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace unitsim {

class Loopback {
public:
    // `args` as on the command line; check error().
    explicit Loopback(const std::vector<std::string>& args);
    ~Loopback();
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    const std::string& error() const { return error_; }
    Simulator& simulator() { return *sim_; }
    int peerFd() const { return fds_[1]; }

    void write(std::string_view bytes);
    void control(std::string_view command) { sim_->control(command); }

    // Runs the simulator until `pattern` has arrived; returns everything up to and including
    // it and keeps the rest. Nothing when it has not arrived within `timeout`.
    std::optional<std::string> readUntil(std::string_view pattern, Ms timeout);
    // Runs the simulator for `duration`; returns everything that arrived (and what was kept).
    std::string readFor(Ms duration);
    // One pass of the simulator, then what has arrived is added to what is kept.
    void pump(Ms maxWait);
    const std::string& kept() const { return buf_; }

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<Simulator> sim_;
    std::string buf_;
    std::string error_;
};

}  // namespace unitsim
