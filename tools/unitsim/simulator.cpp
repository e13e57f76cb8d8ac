#include "simulator.h"

#include "codec.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace unitsim {

namespace {

constexpr std::size_t maxCommand = 256;  // a modem's command buffer
constexpr auto downRecheck = Ms(50);     // how often a closed line is looked at again

std::string stateName(int s) {
    static constexpr const char* names[] = {"command", "dialling", "ringing", "answering", "online", "ending"};
    return names[s];
}

std::string upperNoBlanks(std::string_view s) {
    std::string out;
    for (unsigned char c : s)
        if (c != ' ') out += char(std::toupper(c));
    return out;
}

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// The digits of a number, without its "+" or anything else.
std::string digitsOf(std::string_view number) {
    std::string d;
    for (char c : number)
        if (c >= '0' && c <= '9') d += c;
    return d;
}

int waitMs(Time now, std::optional<Time> deadline) {
    if (!deadline) return -1;
    if (*deadline <= now) return 0;
    // Rounded up, so that the pass after the wait finds the deadline passed.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*deadline - now).count();
    return int((us + 999) / 1000);
}

// Whether a periodic event is due; if so, its next time is set, skipping any it missed. An
// event without a period comes once.
bool periodic(std::optional<Time>& next, std::optional<Ms> every, Time now) {
    if (!next || now < *next) return false;
    if (!every) {
        next.reset();
        return true;
    }
    *next += *every;
    if (*next < now) next = now + *every;
    return true;
}

}  // namespace

Simulator::Simulator(Options options, int lineFd)
    : opt_(std::move(options)), log_(opt_.logPath, opt_.saveDir), rng_(opt_.seed), fd_(lineFd),
      pty_(::isatty(lineFd) != 0), line_(lineFd, !opt_.fast), unit_(opt_, log_, rng_), echo_(opt_.echo),
      crcOn_(opt_.reportsOn), clipOn_(opt_.reportsOn) {
    if (!log_.ok()) error_ = "cannot open the log " + opt_.logPath;
    else if (!unit_.error().empty()) error_ = unit_.error();
    else if (!opt_.saveDir.empty()) {
        struct stat st {};
        if (::stat(opt_.saveDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) error_ = "no folder " + opt_.saveDir;
    }
    const Time now = SteadyClock::now();
    lastTraffic_ = now;
    if (opt_.callEvery) nextAutoCall_ = now + *opt_.callEvery;
    if (opt_.restartEvery) nextAutoRestart_ = now + *opt_.restartEvery;
    if (opt_.replugEvery) nextAutoReplug_ = now + *opt_.replugEvery;
    // The first voice call may come in another phase than the unit's calls, so that a period
    // that is a multiple of theirs does not always find the modem ringing.
    if (opt_.voiceFirst || opt_.voiceEvery) nextAutoVoice_ = now + opt_.voiceFirst.value_or(*opt_.voiceEvery);
    if (opt_.cable) {
        state_ = State::Online;
        link_ = Link::Cable;
        unit_.callStarted(Link::Cable, 0, now);
    }
    log_.write("start", {{"mode", opt_.cable ? "cable" : "modem"},
                         {"speed", opt_.fast ? "full" : std::to_string(bytesPerSecond) + "B/s"}});
    unanswered_ = opt_.unanswered;
    if (opt_.silentFor) silence(now + *opt_.silentFor);
}

void Simulator::control(std::string_view command) {
    const Time now = SteadyClock::now();
    const std::string line = trim(command);
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : trim(line.substr(space + 1));
    if (verb.empty()) return;
    log_.write("control", {{"command", line}});
    if (verb == "call") {
        requestCall(UnitCall{arg.empty() ? std::nullopt : std::optional(arg)}, now);
    } else if (verb == "voice") {
        voiceCall(arg.empty() ? std::string(voiceCaller) : arg, now);
    } else if (verb == "hangup") {
        if (state_ == State::Online && link_ != Link::Cable) {
            handleSent(line_.discard(), now);
            endCall("hangup command", now);
        } else if (state_ == State::Ringing) {
            log_.write("ring-end", {{"why", "hangup command"}});
            toCommandMode(now);
        } else if (state_ == State::Dialling || state_ == State::Answering) {
            reply(Reply{"NO CARRIER"}, now);
            toCommandMode(now);
        }
    } else if (verb == "fault") {
        if (const auto f = parsePictureFault(arg)) unit_.armFault(*f);
        else log_.write("error", {{"text", "unknown fault " + arg}});
    } else if (verb == "restart" && (arg.empty() || arg == "silent")) {
        restart(arg.empty(), now);
    } else if (verb == "replug" && arg.empty()) {
        replug();
    } else if (verb == "silent") {
        const std::optional<Ms> length = arg.empty() ? std::nullopt : parseSeconds(arg);
        if (!arg.empty() && !length) log_.write("error", {{"text", "silent: not a number of seconds: " + arg}});
        else if (length && length->count() == 0) endSilence("command");
        else silence(length ? std::optional(now + *length) : std::nullopt);
    } else if (verb == "unanswered") {
        if (const auto n = arg.empty() ? std::optional(1) : parseCount(arg)) unanswered_ = *n;
        else log_.write("error", {{"text", "unanswered: not a number of dials: " + arg}});
    } else if (verb == "quit") {
        quit_ = true;
    } else {
        log_.write("error", {{"text", "unknown command " + line}});
    }
}

void Simulator::replaceLine(int lineFd, const std::string& name) {
    const Time now = SteadyClock::now();
    log_.write("replug", {{"slave", name}});
    // What was on its way to the old line never arrives.
    for (const Sent& s : line_.discard())
        if (s.segment.picture) log_.pictureSent(s);
    fd_ = lineFd;
    pty_ = ::isatty(lineFd) != 0;
    line_ = Line(lineFd, !opt_.fast);
    // Nobody has the new pty open yet: it is watched like a port that was closed, and what the
    // modem says until it is opened is lost, as with a USB modem announcing itself too early.
    lineDown_ = pty_;
    downCheck_ = now;
    if (pty_) log_.write("line", {{"state", "closed"}});
    if (!opt_.cable) restart(true, now);
}

void Simulator::replug() {
    if (!openLine_) {
        log_.write("error", {{"text", "replug: this line cannot be replaced"}});
        return;
    }
    const NewLine next = openLine_();
    if (!next.error.empty()) log_.write("error", {{"text", next.error}});
    if (next.fd >= 0) replaceLine(next.fd, next.name);
}

// The modem loses power and starts again. A call or ringing just stops: the far end gets no
// more bytes and no NO CARRIER. What was queued is lost, and the settings go back to what they
// were at start (a program has to enable its ring and caller reports again).
void Simulator::restart(bool announce, Time now) {
    if (opt_.cable) {
        log_.note("no modem on a cable: nothing to restart");
        return;
    }
    const std::vector<std::string> none;
    const auto& lines = announce ? opt_.announce : none;
    log_.write("restart", {{"announced", std::to_string(lines.size())}});
    for (const Sent& s : line_.discard())
        if (s.segment.picture) log_.pictureSent(s);
    switch (state_) {
    case State::Online: unit_.callEnded(); [[fallthrough]];
    case State::Ending: log_.write("call-end", {{"call", std::to_string(calls_)}, {"why", "restart"}}); break;
    case State::Ringing: log_.write("ring-end", {{"why", "restart"}}); break;
    default: break;
    }
    echo_ = opt_.echo;
    crcOn_ = clipOn_ = opt_.reportsOn;
    cmdOverflow_ = false;
    toCommandMode(now);  // drops a half-typed command as well
    lastTraffic_ = now;
    std::string bytes;
    for (const auto& l : lines) bytes += "\r\n" + l + "\r\n";
    if (!bytes.empty()) send(std::move(bytes), now);
}

void Simulator::step(Ms maxWait) {
    std::vector<Control> none;
    pass(none, -1, maxWait);
}

void Simulator::run(const std::vector<int>& controlFds, int stopFd) {
    std::vector<Control> controls;
    for (int fd : controlFds) controls.push_back(Control{fd, {}, false});
    while (!finished()) pass(controls, stopFd, Ms(1000));
    log_.write("stop", {{"why", peerGone_ ? "the line went away" : "asked to"}});
}

void Simulator::pass(std::vector<Control>& controls, int stopFd, Ms maxWait) {
    Time now = SteadyClock::now();
    std::optional<Time> deadline = now + maxWait;
    if (const auto d = nextDeadline(); d && *d < *deadline) deadline = d;
    if (lineDown_ && downCheck_ < *deadline) deadline = downCheck_;

    std::vector<pollfd> fds;
    int lineIndex = -1, stopIndex = -1;
    if (!lineDown_) {
        lineIndex = int(fds.size());
        fds.push_back(pollfd{fd_, short(POLLIN | (line_.blocked() ? POLLOUT : 0)), 0});
    }
    if (stopFd >= 0) {
        stopIndex = int(fds.size());
        fds.push_back(pollfd{stopFd, POLLIN, 0});
    }
    const int firstControl = int(fds.size());
    for (const auto& c : controls) fds.push_back(pollfd{c.eof ? -1 : c.fd, POLLIN, 0});

    const int r = ::poll(fds.data(), nfds_t(fds.size()), waitMs(now, deadline));
    now = SteadyClock::now();
    if (r > 0) {
        if (stopIndex >= 0 && fds[stopIndex].revents) {
            quit_ = true;
            return;
        }
        // The line before the commands: a "replug" among them replaces the line polled.
        if (lineIndex >= 0) {
            const short ev = fds[lineIndex].revents;
            if (ev & POLLIN) readLine(now);
            else if (ev & (POLLHUP | POLLERR)) readLine(now);  // tells a closed pty from a gone peer
        }
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (fds[firstControl + i].revents) readControl(controls[i], i == 0);
    }
    if (lineDown_ && now >= downCheck_) checkLineBack(now);
    timers(now);
    if (lineDown_) handleSent(line_.discard(), now);  // nobody listens: what is sent is lost
    else handleSent(line_.flush(now), now);
    if (line_.broken() && !pty_) peerGone_ = true;
}

void Simulator::readLine(Time now) {
    unsigned char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) lineByte(buf[i], now);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        // Readable without data: a pseudo-terminal whose other side was closed reports a hang-up.
        pollfd p{fd_, POLLIN, 0};
        if (!(::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP))) return;
    }
    if (pty_) {
        // The operator program closed the port. Unlike a socket, a pty comes back when it is
        // opened again; until then everything sent is lost, as on a cable nobody listens to.
        if (!lineDown_) log_.write("line", {{"state", "closed"}});
        // What was written since the close would otherwise greet the next opener. Only the
        // output direction: the next opener may already have written its first command, in
        // the moment between the hang-up being seen and this flush, and that must not be lost.
        ::tcflush(fd_, TCOFLUSH);
        lineDown_ = true;
        downCheck_ = now + downRecheck;
    } else {
        peerGone_ = true;
    }
}

void Simulator::checkLineBack(Time now) {
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, 0);
    if (r == 0 || (r > 0 && !(p.revents & POLLHUP))) {
        lineDown_ = false;
        log_.write("line", {{"state", "open"}});
    } else {
        downCheck_ = now + downRecheck;
    }
}

void Simulator::readControl(Control& c, bool first) {
    char buf[1024];
    const ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        c.eof = true;
        if (first && opt_.quitOnEof) quit_ = true;
        return;
    }
    if (n < 0) return;
    c.pending.append(buf, std::size_t(n));
    std::size_t nl;
    while ((nl = c.pending.find('\n')) != std::string::npos) {
        std::string cmd = c.pending.substr(0, nl);
        c.pending.erase(0, nl + 1);
        if (!cmd.empty() && cmd.back() == '\r') cmd.pop_back();
        control(cmd);
    }
    if (c.pending.size() > 4096) c.pending.clear();
}

void Simulator::lineByte(unsigned char b, Time now) {
    lastTraffic_ = now;
    switch (state_) {
    case State::Command:
    case State::Ringing: commandByte(b, now); break;
    case State::Online: apply(unit_.receive(b, now), now); break;
    case State::Dialling:
        // Any character gives up a call being dialled.
        log_.write("dial-aborted", {{"number", dialNumber_}});
        reply(Reply{"NO CARRIER"}, now);
        toCommandMode(now);
        break;
    case State::Answering:
    case State::Ending: break;  // a call is being set up or torn down: the byte is lost
    }
}

void Simulator::commandByte(unsigned char b, Time now) {
    if (echo_) send(std::string(1, char(b)), now);
    if (b == '\r') {
        std::string line;
        line.swap(cmd_);
        const bool overflow = cmdOverflow_;
        cmdOverflow_ = false;
        if (overflow) {
            log_.write("at", {{"command", "(too long)"}, {"reply", "ERROR"}});
            reply(Reply{"ERROR"}, now);
            return;
        }
        runCommand(line, now);
        return;
    }
    if (b == '\n' && cmd_.empty()) return;
    if (cmd_.size() < maxCommand) cmd_ += char(b);
    else cmdOverflow_ = true;
}

void Simulator::runCommand(const std::string& raw, Time now) {
    // Anything in front of "AT" is line noise to a modem.
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i + 1 < raw.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(raw[i])) == 'A' &&
            std::toupper(static_cast<unsigned char>(raw[i + 1])) == 'T') {
            at = i;
            break;
        }
    if (at == std::string::npos) {
        if (!raw.empty()) log_.write("at-ignored", {{"line", escapeValue(raw.substr(0, 40))}});
        return;
    }
    const std::string body = raw.substr(at + 2);
    const std::string cmd = upperNoBlanks(body);
    const auto answerWith = [&](const Reply& r) {
        log_.write("at", {{"command", "AT" + body}, {"reply", r.silent() ? "(none)" : r.text}});
        reply(r, now);
    };
    if (cmd.empty()) answerWith(opt_.atReply);
    else if (cmd == "E0" || cmd == "E") echo_ = false, answerWith(Reply{"OK"});
    else if (cmd == "E1") echo_ = true, answerWith(Reply{"OK"});
    else if (cmd == "+CRC=1") {
        answerWith(opt_.crcReply);
        if (opt_.crcReply.text == "OK") crcOn_ = true;
    } else if (cmd == "+CRC=0") crcOn_ = false, answerWith(Reply{"OK"});
    else if (cmd == "+CLIP=1") {
        answerWith(opt_.clipReply);
        if (opt_.clipReply.text == "OK") clipOn_ = true;
    } else if (cmd == "+CLIP=0") clipOn_ = false, answerWith(Reply{"OK"});
    else if (cmd[0] == 'D') dial(trim(body.substr(body.find_first_of("dD") + 1)), now);
    else if (cmd == "A") answer(now);
    else if (cmd == "H" || cmd == "H0") {
        if (state_ == State::Ringing) toCommandMode(now);
        answerWith(Reply{"OK"});
    } else answerWith(Reply{"ERROR"});
}

void Simulator::reply(const Reply& r, Time now) {
    std::string bytes = garbleBytes(r.garble, rng_);
    if (!r.silent()) bytes += "\r\n" + r.text + "\r\n";
    if (!bytes.empty()) send(std::move(bytes), now);
}

void Simulator::dial(std::string number, Time now) {
    if (state_ == State::Ringing) log_.write("ring-end", {{"why", "the PC dialled out"}});
    // Nobody answers a unit out of reach: the network gives the call up after the dial delay.
    // Such dials do not use up the results of --dial-result.
    const char* unanswered = silent_ ? "silent" : unanswered_ > 0 ? "unanswered" : nullptr;
    if (unanswered) {
        dialResult_ = Reply{"NO CARRIER"};
        if (!silent_) --unanswered_;
    } else {
        dialResult_ = opt_.dialResults[std::min(scenarioDial_, opt_.dialResults.size() - 1)];
        ++scenarioDial_;
    }
    ++dialAttempt_;
    dialNumber_ = number;
    EventLog::Fields fields{{"number", number},
                            {"attempt", std::to_string(dialAttempt_)},
                            {"result", dialResult_.silent() ? "(none)" : dialResult_.text}};
    if (unanswered) fields.emplace_back("why", unanswered);
    log_.write("dial", fields);
    state_ = State::Dialling;
    stateDeadline_ = now + opt_.dialDelay;
}

void Simulator::answer(Time now) {
    if (state_ != State::Ringing) {
        log_.write("at", {{"command", "ATA"}, {"reply", "NO CARRIER"}});
        reply(Reply{"NO CARRIER"}, now);
        return;
    }
    log_.write("answer", {{"number", ringNumber_}, {"kind", voice_ ? "voice" : "data"}});
    if (voice_) {
        // The caller hears a modem's silence and hangs up: the line was held for nothing.
        reply(Reply{"OK"}, now);
        reply(Reply{"NO CARRIER"}, now);
        toCommandMode(now);
        return;
    }
    state_ = State::Answering;
    stateDeadline_ = now + opt_.answerDelay;
}

void Simulator::requestCall(UnitCall call, Time now) {
    if (opt_.cable) {
        log_.note("no modem on a cable: the unit cannot call");
        return;
    }
    if (heldBack(call)) return;
    if (state_ == State::Command && !pendingCall_) {
        ringUnitCall(std::move(call), now);
        return;
    }
    // The modem is busy: the unit tries again once it is free.
    if (!pendingCall_) log_.write("call-deferred", {{"state", stateName(int(state_))}});
    pendingCall_ = std::move(call);
    if (state_ == State::Command && !pendingCallAt_) pendingCallAt_ = now;
}

// A call the operator gave a number to still rings: another unit, or this one heard again.
bool Simulator::heldBack(const UnitCall& call) {
    if (!silent_ || call.number) return false;
    log_.write("call-skipped", {{"why", "silent"}});
    return true;
}

// A call already ringing or standing goes on to its end; a call waiting for a free modem is
// held back when its turn comes.
void Simulator::silence(std::optional<Time> until) {
    silent_ = true;
    silentUntil_ = until;
    log_.write("silent", {{"until", until ? log_.stamp(*until) : "end"}});
}

void Simulator::endSilence(const char* why) {
    if (!silent_) return;
    silent_ = false;
    silentUntil_.reset();
    log_.write("silent-end", {{"why", why}});
}

void Simulator::ringUnitCall(UnitCall call, Time now) {
    if (heldBack(call)) return;
    if (call.number) {
        ringNumber_ = std::move(*call.number);
    } else if (!opt_.callers.empty()) {
        ringNumber_ = opt_.callers[nextCaller_ % opt_.callers.size()];
        ++nextCaller_;
    } else {
        ringNumber_.clear();  // no number at all: presented as withheld
    }
    startRinging(false, now);
}

Look Simulator::lookOf(const std::string& number) const {
    // With one caller the pictures stay as they always were.
    if (opt_.callers.size() < 2) return {};
    // A number may be written with its country code or without: "+79001112233" and
    // "89001112233" are one unit. Numbers of ten digits or more agree in their last ten.
    const std::string digits = digitsOf(number);
    const auto same = [&](const std::string& caller) {
        const std::string d = digitsOf(caller);
        if (d.size() >= 10 && digits.size() >= 10) return d.compare(d.size() - 10, 10, digits, digits.size() - 10) == 0;
        return d == digits && !d.empty();
    };
    for (std::size_t i = 0; i < opt_.callers.size(); ++i)
        if (same(opt_.callers[i])) return Look{i, opt_.callers[i]};
    return Look{0, number};
}

void Simulator::startRinging(bool voice, Time now) {
    state_ = State::Ringing;
    voice_ = voice;
    ringsLeft_ = ringsPerCall();
    firstRing_ = true;
    log_.write("ring-begin", {{"number", ringNumber_}, {"kind", voice ? "voice" : "data"}});
    ring(now);
}

// Somebody dials the modem's number by voice (a wrong number, an advertising call). It rings
// as a voice call and gives up after --voice-rings rings; a modem that is not free gives the caller
// busy, and nothing is seen of it.
void Simulator::voiceCall(std::string number, Time now) {
    if (opt_.cable) {
        log_.note("no modem on a cable: nobody can call");
        return;
    }
    if (state_ != State::Command) {
        log_.write("voice-busy", {{"state", stateName(int(state_))}});
        return;
    }
    ringNumber_ = std::move(number);
    startRinging(true, now);
}

void Simulator::ring(Time now) {
    if (ringsLeft_ == 0) {
        log_.write("ring-end", {{"why", "not answered"}});
        toCommandMode(now);
        return;
    }
    std::string bytes = firstRing_ ? garbleBytes(opt_.ringGarble, rng_) : std::string();
    firstRing_ = false;
    bytes += !crcOn_ ? "\r\nRING\r\n" : voice_ ? "\r\n+CRING: VOICE\r\n" : "\r\n+CRING: REL ASYNC\r\n";
    if (clipOn_ && !opt_.ringOnly)
        bytes += "\r\n+CLIP: \"" + ringNumber_ + "\"," + (ringNumber_.starts_with('+') ? "145" : "129") + "\r\n";
    send(std::move(bytes), now);
    --ringsLeft_;
    log_.write("ring", {{"n", std::to_string(ringsPerCall() - ringsLeft_)}, {"number", ringNumber_}});
    stateDeadline_ = now + opt_.ringInterval;
}

void Simulator::connect(Link link, Time now) {
    reply(Reply{"CONNECT 9600"}, now);
    ++calls_;
    link_ = link;
    state_ = State::Online;
    stateDeadline_.reset();
    lastTraffic_ = now;
    const std::string& number = link == Link::Incoming ? ringNumber_ : dialNumber_;
    log_.write("connect", {{"call", std::to_string(calls_)},
                           {"kind", link == Link::Incoming ? "incoming" : "dialled"},
                           {"number", number}});
    unit_.callStarted(link, calls_, now, lookOf(number));
    if (link == Link::Incoming) apply(unit_.sendPictures(), now);
}

void Simulator::apply(Response r, Time now) {
    for (auto& s : r.segments) line_.queue(std::move(s), now);
    if (r.hangUp) endCall("the unit is done", now);
}

void Simulator::endCall(const char* why, Time now) {
    if (state_ != State::Online || link_ == Link::Cable) return;
    // The call ends once what is queued has left (call-end in the log).
    log_.write("hangup",
               {{"call", std::to_string(calls_)}, {"why", why}, {"pending", std::to_string(line_.pendingBytes())}});
    state_ = State::Ending;
    unit_.callEnded();
    line_.queue(Segment{"\r\nNO CARRIER\r\n", {}, true}, now);
}

void Simulator::toCommandMode(Time now) {
    state_ = State::Command;
    voice_ = false;
    stateDeadline_.reset();
    cmd_.clear();
    if (pendingCall_) pendingCallAt_ = now + opt_.ringInterval;
}

std::optional<Time> Simulator::idleDeadline() const {
    if (state_ != State::Online || link_ == Link::Cable || opt_.idleHangup.count() == 0 || !line_.empty())
        return std::nullopt;
    Time last = lastTraffic_;
    if (const auto w = line_.lastWrite(); w && *w > last) last = *w;
    return last + opt_.idleHangup;
}

std::optional<Time> Simulator::nextDeadline() const {
    std::optional<Time> d;
    const auto take = [&](std::optional<Time> t) {
        if (t && (!d || *t < *d)) d = t;
    };
    take(stateDeadline_);
    take(silentUntil_);
    if (pendingCall_ && state_ == State::Command) take(pendingCallAt_);
    take(nextAutoCall_);
    take(nextAutoRestart_);
    take(nextAutoReplug_);
    take(nextAutoVoice_);
    take(idleDeadline());
    take(unit_.deadline());
    take(line_.nextDue());
    return d;
}

void Simulator::timers(Time now) {
    // First, so that a call of the unit's that falls due as the silence ends is made.
    if (silentUntil_ && now >= *silentUntil_) endSilence("elapsed");
    if (stateDeadline_ && now >= *stateDeadline_) {
        stateDeadline_.reset();
        switch (state_) {
        case State::Dialling:
            if (dialResult_.text.starts_with("CONNECT")) {
                if (dialResult_.garble != Garble::None) send(garbleBytes(dialResult_.garble, rng_), now);
                connect(Link::Dialled, now);
            } else {
                reply(dialResult_, now);
                toCommandMode(now);
            }
            break;
        case State::Answering: connect(Link::Incoming, now); break;
        case State::Ringing: ring(now); break;
        default: break;
        }
    }
    if (pendingCall_ && state_ == State::Command && pendingCallAt_ && now >= *pendingCallAt_) {
        UnitCall call = std::move(*pendingCall_);
        pendingCall_.reset();
        pendingCallAt_.reset();
        ringUnitCall(std::move(call), now);
    }
    if (periodic(nextAutoCall_, opt_.callEvery, now)) requestCall(UnitCall{}, now);
    if (periodic(nextAutoRestart_, opt_.restartEvery, now)) restart(true, now);
    if (periodic(nextAutoReplug_, opt_.replugEvery, now)) replug();
    if (periodic(nextAutoVoice_, opt_.voiceEvery, now)) voiceCall(std::string(voiceCaller), now);
    if (const auto idle = idleDeadline(); idle && now >= *idle) endCall("idle", now);
    unit_.tick(now);
}

void Simulator::handleSent(std::vector<Sent> sent, Time now) {
    for (auto& s : sent) {
        if (s.segment.picture) log_.pictureSent(s);
        if (s.segment.endsCall && state_ == State::Ending) {
            log_.write("call-end", {{"call", std::to_string(calls_)}});
            toCommandMode(now);
        }
    }
}

}  // namespace unitsim
