// unitsim's command line, read by QCommandLineParser. options() holds every option's help and value reader.
#include "options.h"
#include "codec.h"
#include <QCommandLineParser>
#include <array>
#include <charconv>
#include <cstdlib>
#include <limits>

namespace unitsim {
namespace {
constexpr std::array<const char*, itemCount> itemNames{"bc",  "time",  "clock", "apn",  "user", "pass", "oper",
                                                       "sim", "email", "tel1",  "tel2", "tel3", "tel4", "levels"};
constexpr const char* faultNames[] = {"none", "silence", "nul", "noise", "longline", "drop", "truncate"};
constexpr const char* garbleNames[] = {"none", "nul", "noise", "longline"};
constexpr const char* replyNames[] = {"ok", "error", "connect", "busy", "no-answer", "no-carrier", "silence", "none"};
constexpr const char* replyTexts[] = {"OK", "ERROR", "CONNECT 9600", "BUSY", "NO ANSWER", "NO CARRIER", "", ""};
template <typename E, typename Names>  // the position of `text` in `names` as E, from `first` on
std::optional<E> lookup(const Names& names, const std::string& text, std::size_t first = 0) {
    for (std::size_t i = first; i < std::size(names); ++i)
        if (text == names[i]) return E(i);
    return std::nullopt;
}
// Readers of option values, std::nullopt for a value refused. "none" is no garble and no random fault.
std::optional<std::string> any(const std::string& v) { return v; }
std::optional<Garble> garble(const std::string& v) { return lookup<Garble>(garbleNames, v, 1); }
std::optional<PictureFault> randomFault(const std::string& v) { return lookup<PictureFault>(faultNames, v, 1); }
std::optional<char> resolution(const std::string& v) {
    return v.size() == 1 && sizeForResolution(v[0]) ? std::optional(v[0]) : std::nullopt;
}
template <typename T, T lo = std::numeric_limits<T>::min(), T hi = std::numeric_limits<T>::max()>
std::optional<T> number(const std::string& v) {  // all of v a decimal number from lo to hi
    T n{};
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    return ec == std::errc() && end == v.data() + v.size() && n >= lo && n <= hi ? std::optional(n) : std::nullopt;
}
constexpr auto ms = number<long, 0>;
std::optional<double> real(const std::string& v, double lo, double hi) {  // all of v what strtod reads, lo to hi
    char* end = nullptr;
    const double x = std::strtod(v.c_str(), &end);
    return !v.empty() && *end == '\0' && x >= lo && x <= hi ? std::optional(x) : std::nullopt;
}
std::optional<double> chance(const std::string& v) { return real(v, 0.0, 1.0); }
std::optional<Ms> seconds(const std::string& v) {  // more than 0, less than a million
    const auto s = real(v, 0.0, 1e6);
    return s > 0.0 && s < 1e6 ? std::optional(Ms(long(*s * 1000))) : std::nullopt;
}
std::optional<SettingsFault> settingsFault(const std::string& v) {  // ITEM:R; a bare garble goes in front of the OK
    const auto colon = v.find(':');
    const std::string what = colon == std::string::npos ? "" : v.substr(colon + 1);
    const auto item = parseItem(v.substr(0, colon));
    const auto reply = parseReply(garble(what) ? "ok+" + what : what);
    return item && reply ? std::optional(SettingsFault{*item, *reply}) : std::nullopt;
}

// Stores one value of an option in Options, false when it is refused. `set` is for a switch; `to` reads the
// value into `member` or, if that is a list, adds it; `each` makes `member` the list of comma-separated values.
using Store = bool (*)(Options&, const std::string&);
template <auto member, auto value> bool set(Options& o, const std::string&) {
    o.*member = value;
    return true;
}
template <typename T, typename V> void put(T& field, const V& value) { field = T(value); }
template <typename T> void put(std::vector<T>& list, const T& value) { list.push_back(value); }
template <auto member, auto read> bool to(Options& o, const std::string& v) {
    const auto value = read(v);
    if (value) put(o.*member, *value);
    return value.has_value();
}
template <auto member, auto read> bool each(Options& o, const std::string& v) {
    (o.*member).clear();
    for (const QString& part : QString::fromLatin1(v).split(','))
        if (!to<member, read>(o, part.toLatin1().toStdString())) return false;
    return true;
}
// A caller of --callers: digits with an optional leading "+", as a network presents a number.
std::optional<std::string> phoneNumber(const std::string& v) {
    const std::size_t digits = v.size() - (v.starts_with('+') ? 1 : 0);
    const bool ok =
        digits >= 1 && digits <= 20 && v.find_first_not_of("0123456789", v.size() - digits) == std::string::npos;
    return ok ? std::optional(v) : std::nullopt;
}
// --caller: one number, taken as it is (empty: the number withheld).
bool oneCaller(Options& o, const std::string& v) {
    o.callers = {v};
    return true;
}
// "none", or announcement lines separated by commas; a line is not empty and holds no CR or LF.
std::optional<std::string> announceLine(const std::string& v) {
    return !v.empty() && v.find_first_of("\r\n") == std::string::npos ? std::optional(v) : std::nullopt;
}
bool announce(Options& o, const std::string& v) {
    if (v != "none") return each<&Options::announce, announceLine>(o, v);
    o.announce.clear();
    return true;
}
using OptionRow = std::pair<QCommandLineOption, Store>;

// Every option and how its values are stored, added to `parser` as well.
std::vector<OptionRow> options(QCommandLineParser& parser) {
    using O = Options;
    std::vector<OptionRow> table{
        {{"link", "make PATH a symbolic link to the slave as well (removed at exit)", "PATH"}, to<&O::linkPath, any>},
        {{"fast", "send at full speed instead of 960 bytes a second (9600 bit/s 8N1)"}, set<&O::fast, true>},
        {{"cable", R"(no modem: the line is a direct cable to the unit ("BC\r" handshake))"}, set<&O::cable, true>},
        {{"no-echo", "start with echo off (ATE0 / ATE1 switch it as well)"}, set<&O::echo, false>},
        {{"at-reply", "reply R to plain AT (default ok)", "R"}, to<&O::atReply, parseReply>},
        {{"crc-reply", "reply R to AT+CRC=1 (default ok)", "R"}, to<&O::crcReply, parseReply>},
        {{"clip-reply", "reply R to AT+CLIP=1 (default ok)", "R"}, to<&O::clipReply, parseReply>},
        {{"reports-on", "ring and caller reports on without AT+CRC=1 / AT+CLIP=1"}, set<&O::reportsOn, true>},
        {{"dial-delay", "time from ATD to its result (default 2000)", "MS"}, to<&O::dialDelay, ms>},
        {{"dial-result", "replies R to successive ATD, the last one repeating (default connect)", "R,..."},
         each<&O::dialResults, parseReply>},
        {{"unanswered",
          "the first N dials get NO CARRIER after the dial delay, before --dial-result takes its turn "
          "(command unanswered)",
          "N"},
         to<&O::unanswered, parseCount>},
        {{"answer-delay", "time from ATA to CONNECT (default 1000)", "MS"}, to<&O::answerDelay, ms>},
        {{"ring-interval", "time between ring reports (default 3000)", "MS"}, to<&O::ringInterval, ms>},
        {{"rings", "rings before the unit gives up, 1 or more (default 10)", "N"}, to<&O::rings, number<int, 1>>},
        {{"voice-rings", "rings before a voice caller gives up, 1 or more (default 5)", "N"},
         to<&O::voiceRings, number<int, 1>>},
        {{"ring-only", "rings without a +CLIP line"}, set<&O::ringOnly, true>},
        {{"ring-fault", "nul, noise or longline before the first ring of a call", "G"}, to<&O::ringGarble, garble>},
        {{"caller", "number in the +CLIP line of the unit's calls (default +79001112233)", "NUMBER"}, oneCaller},
        {{"callers",
          "the unit's calls present these numbers in turn, each digits with an optional leading + "
          "(not with --caller)",
          "NUMBER,..."},
         each<&O::callers, phoneNumber>},
        {{"idle-hangup", "end a call after MS without traffic (default 5000, 0 never)", "MS"}, to<&O::idleHangup, ms>},
        {{"announce",
          "lines the modem sends when it starts again after a restart, or none (default "
          "RDY,+CPIN: READY,Call Ready,SMS Ready)",
          "LINE,..."},
         announce},
        {{"pictures", "pictures per call, 1 to 100 (default 1)", "N"}, to<&O::picturesPerCall, number<int, 1, 100>>},
        {{"picture", "send FILE, not a generated one; repeatable, used in turn", "FILE"}, to<&O::pictureFiles, any>},
        {{"resolution", "start size 160x128, 320x240 or 640x480 (default 2)", "1|2|3"}, to<&O::resolution, resolution>},
        {{"quality", "JPEG quality, 1 to 100 (default 50)", "Q"}, to<&O::quality, number<int, 1, 100>>},
        {{"before", R"(bytes before pictures; escapes \r \n \t \0 \\ \xNN)", "TEXT"}, to<&O::before, unescapeArgument>},
        {{"between", "bytes between the pictures, escapes as in --before", "TEXT"}, to<&O::between, unescapeArgument>},
        {{"after", "bytes after the pictures, escapes as in --before", "TEXT"}, to<&O::after, unescapeArgument>},
        {{"report", "write each settings exchange received to PATH, key=value lines", "PATH"}, to<&O::reportPath, any>},
        {{"settings-fault",
          "answer settings item ITEM with R, not OK (nul, noise or longline alone: in front of "
          "the OK); repeat for more items",
          "ITEM:R"},
         to<&O::settingsFaults, settingsFault>},
        {{"fault", "fault F on every picture call (default none)", "F"}, to<&O::fault, parsePictureFault>},
        {{"random-faults", "faults F to pick from at random (default silence,noise,drop,truncate)", "F,..."},
         each<&O::randomFaults, randomFault>},
        {{"fault-rate", "chance 0 to 1 of a random fault a call (default 0)", "P"}, to<&O::faultRate, chance>},
        {{"seed", "seed of every random choice (default 1)", "N"}, to<&O::seed, number<std::uint64_t>>},
        {{"call-every", "the unit calls in on its own every SECONDS", "SECONDS"}, to<&O::callEvery, seconds>},
        {{"restart-every", "the modem restarts every SECONDS, as after a power loss (command restart)", "SECONDS"},
         to<&O::restartEvery, seconds>},
        {{"replug-every",
          "the modem is unplugged and plugged back every SECONDS: a new pseudo-terminal, named on a "
          "new output line and by --link (command replug)",
          "SECONDS"},
         to<&O::replugEvery, seconds>},
        {{"voice-every", "somebody calls the modem's number by voice every SECONDS (command voice)", "SECONDS"},
         to<&O::voiceEvery, seconds>},
        {{"voice-first",
          "the first voice call comes after SECONDS, then every --voice-every (default: after "
          "--voice-every; without it: this call alone)",
          "SECONDS"},
         to<&O::voiceFirst, seconds>},
        {{"silent-for",
          "the unit is out of reach for SECONDS from the start: it makes no call of its own and a dial "
          "to it gets NO CARRIER (command silent)",
          "SECONDS"},
         to<&O::silentFor, seconds>},
        {{"control", "commands also from FIFO (made if missing, removed at exit)", "FIFO"}, to<&O::controlFifo, any>},
        {{"quit-on-eof", "end when standard input ends, not only stop reading it"}, set<&O::quitOnEof, true>},
        {{"log", "event log, one key=value line an event (default standard error)", "FILE"}, to<&O::logPath, any>},
        {{"save-dir", "also save every picture sent whole as DIR/callNNNN-K.jpg", "DIR"}, to<&O::saveDir, any>},
    };
    parser.setApplicationDescription(R"(
Plays a GSM modem with the camera unit behind it on a pseudo-terminal and prints the slave path first.
A reply R is ok, error, connect, busy, no-answer, no-carrier or silence (also none), optionally followed
by +nul, +noise or +longline: a NUL byte, random bytes or 5000 bytes without a line feed in front of it.
A picture fault F is none, silence, nul, noise, longline (garbles outside the pictures), drop (the call
drops inside a picture) or truncate (the last picture is cut short). A settings ITEM is bc, time, clock,
apn, user, pass, oper, sim, email, tel1..tel4 or levels. Commands, one a line on standard input or the
FIFO: call [NUMBER], hangup, fault F (for the next picture call), restart [silent], replug,
silent [SECONDS], unanswered [N], quit.
The unit's own calls (call without NUMBER, --call-every) present the numbers of --callers in turn.
silent: the unit has lost its power or antenna for SECONDS (without: until "silent 0"): its own calls
are not made and a dial to it gets NO CARRIER; call NUMBER still rings. unanswered: the next N dials
(default 1) get NO CARRIER.
restart: the modem loses power and starts again: a call or ringing ends without NO CARRIER, echo and
the ring and caller reports go back to their start settings, and the --announce lines follow (none
with "restart silent"). replug: the modem is unplugged and plugged back: the pseudo-terminal is
closed, a new one is opened and named on a new output line (and by --link), and the modem restarts.)");
    parser.addOption({{"h", "help"}, "show this help"});
    for (const auto& [option, store] : table) parser.addOption(option);
    return table;
}
}  // namespace

const char* itemName(Item item) { return itemNames[std::size_t(item)]; }
std::optional<Item> parseItem(const std::string& v) { return lookup<Item>(itemNames, v); }
const char* faultName(PictureFault fault) { return faultNames[std::size_t(fault)]; }
std::optional<PictureFault> parsePictureFault(const std::string& v) { return lookup<PictureFault>(faultNames, v); }
std::optional<Ms> parseSeconds(const std::string& v) {
    const auto s = real(v, 0.0, 1e6);
    return s && *s < 1e6 ? std::optional(Ms(long(*s * 1000))) : std::nullopt;
}
std::optional<int> parseCount(const std::string& v) { return number<int, 0>(v); }
std::optional<Reply> parseReply(const std::string& text) {
    const auto plus = text.find('+');
    const auto index = lookup<std::size_t>(replyNames, text.substr(0, plus));
    const auto g = plus == std::string::npos ? Garble::None : garble(text.substr(plus + 1));
    return index && g ? std::optional(Reply{replyTexts[*index], *g}) : std::nullopt;
}

ParseResult parseArguments(const std::vector<std::string>& args) {
    ParseResult res;
    QCommandLineParser parser;
    const std::vector<OptionRow> table = options(parser);
    QStringList qargs{"unitsim"};  // Latin-1 carries every byte through QString unchanged, whatever the encoding
    for (const std::string& a : args) qargs << QString::fromLatin1(a.data(), qsizetype(a.size()));
    if (!parser.parse(qargs)) res.error = parser.errorText().toLatin1().toStdString();
    else if (!parser.positionalArguments().isEmpty())  // unitsim takes nothing but options
        res.error = ("Unexpected argument '" + parser.positionalArguments().first() + "'.").toLatin1().toStdString();
    for (const auto& [opt, store] : table) {  // a switch given is stored once, other options once a value
        const bool given = opt.valueName().isEmpty() && parser.isSet(opt);
        for (const QString& v : given ? QStringList{""} : parser.values(opt))
            if (!store(res.options, v.toLatin1().toStdString()) && res.error.empty())
                res.error = ("Invalid value '" + v + "' for --" + opt.names().first() + ".").toLatin1().toStdString();
    }
    if (res.error.empty() && parser.isSet("caller") && parser.isSet("callers"))
        res.error = "--caller and --callers cannot be given together.";
    if (res.error.empty() && parser.isSet("help"))  // Qt's first line names the program "<executable_name>"
        res.help = ("usage: unitsim [OPTIONS]\n" + parser.helpText().section('\n', 1)).toStdString();
    return res;
}
}  // namespace unitsim
