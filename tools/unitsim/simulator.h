#pragma once
// The GSM modem on the operator program's serial line, with the camera unit behind it: AT
// commands with echo and verbose results, dialled and incoming data calls, the unit's
// pictures and settings exchange, all at the line's speed. Runs on any descriptor: the master
// side of a pseudo-terminal, or one end of a socket pair in a test.
#include "eventlog.h"
#include "line.h"
#include "options.h"
#include "rng.h"
#include "unit.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace unitsim {

// A line opened in place of the old one when the modem is unplugged and plugged back.
struct NewLine {
    int fd = -1;        // -1: none could be opened
    std::string name;   // for the log (the slave path)
    std::string error;  // what went wrong, if anything (a line may still have been opened)
};

class Simulator {
public:
    // `lineFd` stays the caller's; it is switched to non-blocking.
    Simulator(Options options, int lineFd);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Empty, or why the options cannot be carried out (unreadable picture, log or save folder).
    const std::string& error() const { return error_; }

    // A control command: "call [NUMBER]", "voice [NUMBER]", "hangup", "fault F", "restart [silent]",
    // "replug", "silent [SECONDS]", "unanswered [N]", "quit".
    void control(std::string_view command);

    // What "replug" (and --replug-every) calls to get the new line. It is called while the
    // old descriptor is still the simulator's, and may close that descriptor: the simulator
    // does not touch it afterwards. Without one, "replug" is refused (a socket pair in a test).
    void onReplug(std::function<NewLine()> openLine) { openLine_ = std::move(openLine); }
    // Carries on over `lineFd` (switched to non-blocking, stays the caller's) as a modem plugged
    // in again: whatever was queued for the old line is lost, and the modem restarts.
    void replaceLine(int lineFd, const std::string& name);

    // One pass of the loop on the line alone, waiting at most `maxWait` for something to do.
    void step(Ms maxWait);

    // Runs until "quit", a byte on `stopFd` (a signalfd), the end of `controlFds[0]` with
    // --quit-on-eof, or the far end of a socket going away. Every descriptor in `controlFds`
    // delivers commands, one a line.
    void run(const std::vector<int>& controlFds, int stopFd);

    bool finished() const { return quit_ || peerGone_; }

private:
    enum class State { Command, Dialling, Ringing, Answering, Online, Ending };
    struct Control {
        int fd;
        std::string pending;
        bool eof = false;
    };

    void pass(std::vector<Control>& controls, int stopFd, Ms maxWait);
    void readLine(Time now);
    void readControl(Control& c, bool first);
    void checkLineBack(Time now);
    void lineByte(unsigned char b, Time now);
    void commandByte(unsigned char b, Time now);
    void runCommand(const std::string& line, Time now);
    void reply(const Reply& r, Time now);
    void dial(std::string number, Time now);
    void answer(Time now);
    // A call of the unit: the number it presents, or none for the next of --callers, taken
    // when it starts ringing (a call waiting for a free modem has taken none yet).
    struct UnitCall {
        std::optional<std::string> number;
    };
    void requestCall(UnitCall call, Time now);
    // Whether `call` is one of the unit's own while the unit is silent, and so is not made.
    bool heldBack(const UnitCall& call);
    // The unit loses its power or antenna until `until` (none: until told), or gets it back.
    void silence(std::optional<Time> until);
    void endSilence(const char* why);
    void ringUnitCall(UnitCall call, Time now);
    // How the pictures of a call from or to `number` look: those of its place in --callers.
    Look lookOf(const std::string& number) const;
    void startRinging(bool voice, Time now);
    void voiceCall(std::string number, Time now);
    // How often the call now ringing rings before its caller gives up.
    int ringsPerCall() const { return voice_ ? opt_.voiceRings : opt_.rings; }
    // The number a voice call comes from when none is given.
    static constexpr std::string_view voiceCaller = "+79005556677";
    void ring(Time now);
    void connect(Link link, Time now);
    void apply(Response r, Time now);
    void endCall(const char* why, Time now);
    void toCommandMode(Time now);
    void restart(bool announce, Time now);
    void replug();
    void timers(Time now);
    void handleSent(std::vector<Sent> sent, Time now);
    std::optional<Time> idleDeadline() const;
    std::optional<Time> nextDeadline() const;
    void send(std::string bytes, Time now) { line_.queue(std::move(bytes), now); }

    Options opt_;
    EventLog log_;
    Rng rng_;
    int fd_;
    bool pty_;
    Line line_;
    Unit unit_;
    std::string error_;

    State state_ = State::Command;
    std::string cmd_;
    bool cmdOverflow_ = false;
    bool echo_;
    bool crcOn_;
    bool clipOn_;
    std::size_t dialAttempt_ = 0;
    std::size_t scenarioDial_ = 0;  // dials answered from --dial-result so far
    int unanswered_ = 0;            // dials still to be left unanswered
    bool silent_ = false;
    std::optional<Time> silentUntil_;  // none while silent: until "silent 0"
    Reply dialResult_;
    std::string dialNumber_;
    std::optional<Time> stateDeadline_;  // dial result, connect after ATA, next ring
    int ringsLeft_ = 0;
    bool firstRing_ = false;
    std::string ringNumber_;
    bool voice_ = false;  // the call ringing or answered is somebody's voice call, not the unit's
    std::optional<UnitCall> pendingCall_;
    std::size_t nextCaller_ = 0;  // the place in --callers of the next unit call's number
    std::optional<Time> pendingCallAt_;
    std::optional<Time> nextAutoCall_;
    std::optional<Time> nextAutoRestart_;
    std::optional<Time> nextAutoReplug_;
    std::optional<Time> nextAutoVoice_;
    std::function<NewLine()> openLine_;
    Time lastTraffic_{};
    Link link_ = Link::Dialled;
    int calls_ = 0;

    bool lineDown_ = false;
    Time downCheck_{};
    bool quit_ = false;
    bool peerGone_ = false;
};

}  // namespace unitsim
