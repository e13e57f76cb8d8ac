#pragma once
// The camera unit behind the modem (or at the end of a direct cable): it reads the operator
// program's requests, answers the settings exchange item by item and sends its pictures.
#include "eventlog.h"
#include "line.h"
#include "options.h"
#include "picture.h"
#include "rng.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace unitsim {

enum class Link { Cable, Dialled, Incoming };

// What the unit does in answer to a byte or an event.
struct Response {
    std::vector<Segment> segments;
    bool hangUp = false;  // end the call once the segments have left
};

// Bytes that disturb a reader: a NUL byte, random noise or a very long line.
std::string garbleBytes(Garble garble, Rng& rng);

class Unit {
public:
    Unit(const Options& options, EventLog& log, Rng& rng);

    // Empty, or why a picture file could not be read.
    const std::string& error() const { return error_; }

    // A call stands (or, over the cable, the unit is reachable); its pictures look as `look`.
    void callStarted(Link link, int call, Time now, Look look = {});
    // The call has ended: a settings exchange in progress is abandoned.
    void callEnded();
    // One byte from the operator program.
    Response receive(unsigned char byte, Time now);
    // The pictures of one call (asked for, or sent on the unit's own call without asking).
    Response sendPictures();
    // An exchange that the program left unfinished is given up after a pause.
    std::optional<Time> deadline() const;
    void tick(Time now);

    // The next picture call gets this fault.
    void armFault(PictureFault fault) { armed_ = fault; }

    char resolution() const { return resolution_; }
    // The unit's clock, "hh:mm:ss dd.mm.yy".
    std::string clockText() const;

private:
    enum class Expect { Command, Raw, Text };

    Response command(const std::string& line, Time now);
    Response answer(Item item);
    void beginExchange(Time now);
    void itemReceived();
    void finishExchange(bool complete, const char* why);
    void add(std::string key, std::string value) { report_.emplace_back(std::move(key), std::move(value)); }
    std::string nextPicture();

    const Options& opt_;
    EventLog& log_;
    Rng& rng_;
    std::string error_;
    std::vector<std::string> files_;
    std::size_t nextFile_ = 0;

    Link link_ = Link::Cable;
    int call_ = 0;
    Look look_;
    int cableRequests_ = 0;
    bool streaming_ = false;  // this call's pictures are on their way
    std::optional<PictureFault> armed_;

    Expect expect_ = Expect::Command;
    std::string buf_;
    bool overflow_ = false;
    Item item_ = Item::Bc;
    int exchange_ = 0;
    bool inExchange_ = false;
    int acknowledged_ = 0;
    std::vector<std::pair<std::string, std::string>> report_;
    std::string sim_;
    Time lastByte_{};

    // Applied when an exchange completes.
    std::optional<char> newResolution_;
    std::optional<std::chrono::seconds> newOffset_;

    char resolution_;
    std::chrono::seconds clockOffset_{0};
    std::uint32_t frame_ = 0;
};

}  // namespace unitsim
