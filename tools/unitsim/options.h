#pragma once
// What the simulated modem and unit do, chosen on the command line.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unitsim {

using Ms = std::chrono::milliseconds;

// Something sent in front of a reply that disturbs the reader on the other side.
enum class Garble {
    None,
    Nul,       // one NUL byte
    Noise,     // a burst of random bytes (no NUL, no line feed)
    LongLine,  // several thousand printable bytes without a line feed
};

// A reply to a command: the text (or none at all), optionally garbled in front.
// Texts: "OK", "ERROR", "CONNECT 9600", "BUSY", "NO ANSWER", "NO CARRIER"; empty = silence.
struct Reply {
    std::string text;
    Garble garble = Garble::None;
    bool silent() const { return text.empty(); }
};

// Faults of a picture call.
enum class PictureFault {
    None,
    Silence,   // nothing is sent
    Nul,       // a NUL byte in front of the pictures
    Noise,     // random bytes outside the pictures
    LongLine,  // several thousand bytes without a line feed in front of the pictures
    Drop,      // the call drops in the middle of a picture
    Truncate,  // the last picture is cut short, then the call ends normally
};

// Settings items in the order they are sent.
enum class Item { Bc, Time, Clock, Apn, User, Pass, Oper, Sim, Email, Tel1, Tel2, Tel3, Tel4, Levels };
constexpr int itemCount = 14;

struct SettingsFault {
    Item item;
    Reply reply;
};

struct Options {
    // Line
    std::string linkPath;  // symbolic link to the slave side; empty: none
    bool fast = false;     // full speed instead of 960 bytes/s
    bool cable = false;    // no modem: the line is a direct cable to the unit

    // Modem
    bool echo = true;
    Reply atReply{"OK"};
    Reply crcReply{"OK"};
    Reply clipReply{"OK"};
    bool reportsOn = false;  // ring and caller reports on without AT+CRC=1 / AT+CLIP=1
    Ms dialDelay{2000};
    std::vector<Reply> dialResults{Reply{"CONNECT 9600"}};  // one per attempt, the last repeats
    int unanswered = 0;  // the first dials get NO CARRIER; they use up none of dialResults
    Ms answerDelay{1000};
    Ms ringInterval{3000};
    int rings = 10;
    int voiceRings = 5;     // a voice caller gives up sooner than the unit
    bool ringOnly = false;  // no +CLIP line after the ring
    Garble ringGarble = Garble::None;
    // The numbers the unit's own calls present in their +CLIP line, in turn; never empty.
    std::vector<std::string> callers{"+79001112233"};
    Ms idleHangup{5000};  // 0: never
    // Lines sent, each framed by CR LF, when the modem starts again after a restart or replug.
    std::vector<std::string> announce{"RDY", "+CPIN: READY", "Call Ready", "SMS Ready"};

    // Unit
    int picturesPerCall = 1;
    std::vector<std::string> pictureFiles;
    char resolution = '2';
    int quality = 50;
    std::string before, between, after;
    std::string reportPath;
    std::vector<SettingsFault> settingsFaults;

    // Faults
    PictureFault fault = PictureFault::None;
    std::vector<PictureFault> randomFaults{PictureFault::Silence, PictureFault::Noise, PictureFault::Drop,
                                           PictureFault::Truncate};  // used when faultRate > 0
    double faultRate = 0.0;
    std::uint64_t seed = 1;

    // Control
    std::optional<Ms> callEvery;
    std::optional<Ms> restartEvery;
    std::optional<Ms> replugEvery;
    std::optional<Ms> voiceEvery;
    std::optional<Ms> voiceFirst;  // when the first voice call comes; none: after voiceEvery
    std::optional<Ms> silentFor;   // the unit is out of reach for this long from the start
    std::string controlFifo;
    bool quitOnEof = false;

    // Log
    std::string logPath;  // empty: standard error
    std::string saveDir;
};

struct ParseResult {
    Options options;
    std::string help;   // non-empty: --help was given; the usage text to print
    std::string error;  // non-empty: the arguments are wrong
};

ParseResult parseArguments(const std::vector<std::string>& args);

// "ok", "error", "silence"/"none", "connect", "busy", "no-answer", "no-carrier", each
// optionally followed by "+nul", "+noise" or "+longline".
std::optional<Reply> parseReply(const std::string& text);
std::optional<PictureFault> parsePictureFault(const std::string& text);
// Seconds, fractions allowed, from 0 to less than a million.
std::optional<Ms> parseSeconds(const std::string& text);
// A whole number from 0.
std::optional<int> parseCount(const std::string& text);
std::optional<Item> parseItem(const std::string& text);
const char* itemName(Item item);
const char* faultName(PictureFault fault);

}  // namespace unitsim
