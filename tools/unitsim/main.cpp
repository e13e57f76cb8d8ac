// unitsim: a GSM modem with the camera unit behind it, on a pseudo-terminal.
#include "options.h"
#include "simulator.h"
#include "terminal.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace unitsim;
    const ParseResult parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.help.empty()) {
        std::fputs(parsed.help.c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "unitsim: %s See unitsim --help.\n", parsed.error.c_str());
        return 2;
    }
    const Options& opt = parsed.options;

    // SIGTERM and SIGINT arrive on a descriptor that the loop watches, so that the loop ends
    // normally and the destructors remove the link and the FIFO.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    auto pty = std::make_unique<Pty>();
    if (!pty->ok()) {
        std::fprintf(stderr, "unitsim: %s\n", pty->error().c_str());
        return 1;
    }
    // Everything is ready before the line is named: once the link or the first output line
    // is there, the modem answers and the FIFO takes commands.
    Simulator sim(opt, pty->fd());
    if (!sim.error().empty()) {
        std::fprintf(stderr, "unitsim: %s\n", sim.error().c_str());
        return 1;
    }
    std::optional<Fifo> fifo;
    if (!opt.controlFifo.empty()) {
        fifo.emplace(opt.controlFifo);
        if (!fifo->ok()) {
            std::fprintf(stderr, "unitsim: %s\n", fifo->error().c_str());
            return 1;
        }
    }
    std::optional<SymLink> link;
    if (!opt.linkPath.empty()) {
        link.emplace(pty->slavePath(), opt.linkPath);
        if (!link->ok()) {
            std::fprintf(stderr, "unitsim: %s\n", link->error().c_str());
            return 1;
        }
    }
    std::printf("%s\n", pty->slavePath().c_str());
    std::fflush(stdout);

    // Unplugged and plugged back: the new pty is opened first, so that it gets another number,
    // then the old one is closed (its slave hangs up), and the link and a new output line name
    // the new one.
    sim.onReplug([&]() -> NewLine {
        auto next = std::make_unique<Pty>();
        if (!next->ok()) return NewLine{-1, {}, next->error()};
        pty = std::move(next);
        NewLine line{pty->fd(), pty->slavePath(), {}};
        if (link && !link->retarget(pty->slavePath())) line.error = link->error();
        std::printf("%s\n", pty->slavePath().c_str());
        std::fflush(stdout);
        return line;
    });

    std::vector<int> controls;
    if (::fcntl(STDIN_FILENO, F_GETFD) >= 0) controls.push_back(STDIN_FILENO);
    else controls.push_back(-1);
    if (fifo) controls.push_back(fifo->fd());
    sim.run(controls, stopFd);
    if (stopFd >= 0) ::close(stopFd);
    return 0;
}
