#include "options.h"

#include "codec.h"

#include <array>
#include <charconv>
#include <cstdlib>

namespace unitsim {

namespace {

constexpr std::array<const char*, itemCount> itemNames{
    "bc", "time", "clock", "apn", "user", "pass", "oper", "sim", "email", "tel1", "tel2", "tel3", "tel4", "levels"};

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

template <typename T>
std::optional<T> number(const std::string& text) {
    T v{};
    const auto* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return v;
}

std::optional<double> probability(const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return std::nullopt;
    return v;
}

} // namespace

const char* itemName(Item item) { return itemNames[std::size_t(item)]; }

std::optional<Item> parseItem(const std::string& text) {
    for (std::size_t i = 0; i < itemNames.size(); ++i)
        if (text == itemNames[i]) return Item(i);
    return std::nullopt;
}

const char* faultName(PictureFault fault) {
    switch (fault) {
    case PictureFault::None: return "none";
    case PictureFault::Silence: return "silence";
    case PictureFault::Nul: return "nul";
    case PictureFault::Noise: return "noise";
    case PictureFault::LongLine: return "longline";
    case PictureFault::Drop: return "drop";
    case PictureFault::Truncate: return "truncate";
    }
    return "?";
}

std::optional<PictureFault> parsePictureFault(const std::string& text) {
    for (auto f : {PictureFault::None, PictureFault::Silence, PictureFault::Nul, PictureFault::Noise,
                   PictureFault::LongLine, PictureFault::Drop, PictureFault::Truncate})
        if (text == faultName(f)) return f;
    return std::nullopt;
}

std::optional<Reply> parseReply(const std::string& text) {
    const auto plus = text.find('+');
    const std::string base = text.substr(0, plus);
    Reply r;
    if (base == "ok") r.text = "OK";
    else if (base == "error") r.text = "ERROR";
    else if (base == "connect") r.text = "CONNECT 9600";
    else if (base == "busy") r.text = "BUSY";
    else if (base == "no-answer") r.text = "NO ANSWER";
    else if (base == "no-carrier") r.text = "NO CARRIER";
    else if (base == "silence" || base == "none") r.text.clear();
    else return std::nullopt;
    if (plus != std::string::npos) {
        const std::string g = text.substr(plus + 1);
        if (g == "nul") r.garble = Garble::Nul;
        else if (g == "noise") r.garble = Garble::Noise;
        else if (g == "longline") r.garble = Garble::LongLine;
        else return std::nullopt;
    }
    return r;
}

ParseResult parseArguments(const std::vector<std::string>& args) {
    ParseResult res;
    Options& o = res.options;
    const auto fail = [&](std::string msg) {
        if (res.error.empty()) res.error = std::move(msg);
    };
    for (std::size_t i = 0; i < args.size() && res.error.empty(); ++i) {
        const std::string& a = args[i];
        // Options that take a value.
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                fail(a + " needs a value");
                return std::nullopt;
            }
            return args[++i];
        };
        const auto ms = [&](Ms& out) {
            if (const auto v = value()) {
                if (const auto n = number<long>(*v); n && *n >= 0) out = Ms(*n);
                else fail(a + ": not a number of milliseconds: " + *v);
            }
        };
        const auto reply = [&](Reply& out) {
            if (const auto v = value()) {
                if (const auto r = parseReply(*v)) out = *r;
                else fail(a + ": unknown reply: " + *v);
            }
        };
        const auto text = [&](std::string& out) {
            if (const auto v = value()) {
                if (const auto t = unescapeArgument(*v)) out = *t;
                else fail(a + ": bad escape in: " + *v);
            }
        };
        const auto garble = [&](const std::string& g) -> std::optional<Garble> {
            if (g == "nul") return Garble::Nul;
            if (g == "noise") return Garble::Noise;
            if (g == "longline") return Garble::LongLine;
            fail(a + ": unknown garble: " + g);
            return std::nullopt;
        };

        if (a == "--help" || a == "-h") res.help = true;
        else if (a == "--link") { if (auto v = value()) o.linkPath = *v; }
        else if (a == "--fast") o.fast = true;
        else if (a == "--cable") o.cable = true;
        else if (a == "--no-echo") o.echo = false;
        else if (a == "--at-reply") reply(o.atReply);
        else if (a == "--crc-reply") reply(o.crcReply);
        else if (a == "--clip-reply") reply(o.clipReply);
        else if (a == "--reports-on") o.reportsOn = true;
        else if (a == "--dial-delay") ms(o.dialDelay);
        else if (a == "--dial-result") {
            if (const auto v = value()) {
                o.dialResults.clear();
                for (const auto& part : split(*v, ',')) {
                    if (const auto r = parseReply(part)) o.dialResults.push_back(*r);
                    else fail(a + ": unknown result: " + part);
                }
            }
        }
        else if (a == "--answer-delay") ms(o.answerDelay);
        else if (a == "--ring-interval") ms(o.ringInterval);
        else if (a == "--rings") {
            if (const auto v = value()) {
                if (const auto n = number<int>(*v); n && *n >= 1) o.rings = *n;
                else fail(a + ": not a count: " + *v);
            }
        }
        else if (a == "--ring-only") o.ringOnly = true;
        else if (a == "--ring-fault") { if (auto v = value()) if (auto g = garble(*v)) o.ringGarble = *g; }
        else if (a == "--caller") { if (auto v = value()) o.caller = *v; }
        else if (a == "--idle-hangup") ms(o.idleHangup);
        else if (a == "--pictures") {
            if (const auto v = value()) {
                if (const auto n = number<int>(*v); n && *n >= 1 && *n <= 100) o.picturesPerCall = *n;
                else fail(a + ": not a count from 1 to 100: " + *v);
            }
        }
        else if (a == "--picture") { if (auto v = value()) o.pictureFiles.push_back(*v); }
        else if (a == "--resolution") {
            if (const auto v = value()) {
                if (v->size() == 1 && sizeForResolution((*v)[0])) o.resolution = (*v)[0];
                else fail(a + ": expected 1, 2 or 3: " + *v);
            }
        }
        else if (a == "--quality") {
            if (const auto v = value()) {
                if (const auto n = number<int>(*v); n && *n >= 1 && *n <= 100) o.quality = *n;
                else fail(a + ": expected 1 to 100: " + *v);
            }
        }
        else if (a == "--before") text(o.before);
        else if (a == "--between") text(o.between);
        else if (a == "--after") text(o.after);
        else if (a == "--report") { if (auto v = value()) o.reportPath = *v; }
        else if (a == "--settings-fault") {
            if (const auto v = value()) {
                const auto colon = v->find(':');
                const auto item = parseItem(v->substr(0, colon));
                std::optional<Reply> r;
                if (colon != std::string::npos) {
                    const std::string what = v->substr(colon + 1);
                    // A bare garble disturbs the OK that still follows it.
                    r = parseReply(what == "nul" || what == "noise" || what == "longline" ? "ok+" + what : what);
                }
                if (item && r) o.settingsFaults.push_back({*item, *r});
                else fail(a + ": expected ITEM:REPLY, got " + *v);
            }
        }
        else if (a == "--fault") {
            if (const auto v = value()) {
                if (const auto f = parsePictureFault(*v)) o.fault = *f;
                else fail(a + ": unknown fault: " + *v);
            }
        }
        else if (a == "--random-faults") {
            if (const auto v = value()) {
                o.randomFaults.clear();
                for (const auto& part : split(*v, ',')) {
                    if (const auto f = parsePictureFault(part); f && *f != PictureFault::None) o.randomFaults.push_back(*f);
                    else fail(a + ": unknown fault: " + part);
                }
            }
        }
        else if (a == "--fault-rate") {
            if (const auto v = value()) {
                if (const auto p = probability(*v)) o.faultRate = *p;
                else fail(a + ": expected a probability from 0 to 1: " + *v);
            }
        }
        else if (a == "--seed") {
            if (const auto v = value()) {
                if (const auto n = number<std::uint64_t>(*v)) o.seed = *n;
                else fail(a + ": not a number: " + *v);
            }
        }
        else if (a == "--call-every") {
            if (const auto v = value()) {
                char* end = nullptr;
                const double s = std::strtod(v->c_str(), &end);
                if (!v->empty() && *end == '\0' && s > 0 && s < 1e6) o.callEvery = Ms(long(s * 1000));
                else fail(a + ": not a number of seconds: " + *v);
            }
        }
        else if (a == "--control") { if (auto v = value()) o.controlFifo = *v; }
        else if (a == "--quit-on-eof") o.quitOnEof = true;
        else if (a == "--log") { if (auto v = value()) o.logPath = *v; }
        else if (a == "--save-dir") { if (auto v = value()) o.saveDir = *v; }
        else fail("unknown option: " + a);
    }
    if (res.error.empty() && o.faultRate > 0 && o.randomFaults.empty())
        o.randomFaults = {PictureFault::Silence, PictureFault::Noise, PictureFault::Drop, PictureFault::Truncate};
    return res;
}

std::string usageText() {
    return R"(usage: unitsim [OPTIONS]

Plays a GSM modem with the camera unit behind it on a pseudo-terminal. The slave path is
printed on standard output as the first line; the operator program opens it as its serial port.

Line
  --link PATH            also make PATH a symbolic link to the slave (removed at exit)
  --fast                 send at full speed instead of 9600 bit/s 8N1 (960 bytes a second)
  --cable                no modem: the line is a direct cable to the unit ("BC\r" handshake)

Modem (echo and verbose "\r\nOK\r\n" replies on by default)
  --no-echo              start with echo off (ATE0 / ATE1 switch it as well)
  --at-reply R           reply to plain AT                    (default ok)
  --crc-reply R          reply to AT+CRC=1                    (default ok)
  --clip-reply R         reply to AT+CLIP=1                   (default ok)
  --reports-on           report rings as +CRING and callers as +CLIP from the start; otherwise
                         only once AT+CRC=1 / AT+CLIP=1 were accepted (a plain RING before)
  --dial-delay MS        time from ATD to its result          (default 2000)
  --dial-result LIST     results of successive ATD, the last one repeats: connect, busy,
                         no-answer, no-carrier, error, silence (default connect)
  --answer-delay MS      time from ATA to CONNECT             (default 1000)
  --ring-interval MS     time between ring reports            (default 3000)
  --rings N              rings before the unit gives up       (default 10)
  --ring-only            rings without a +CLIP line
  --ring-fault G         garble in front of the first ring: nul, noise, longline
  --caller NUMBER        number in the +CLIP line             (default +79001112233)
  --idle-hangup MS       the unit ends a call after MS without traffic (default 5000; 0 never)
  A reply R is ok, error or silence (also none), optionally followed by +nul, +noise or
  +longline: a NUL byte, random bytes, or 5000 bytes without a line feed sent in front of it.

Camera unit
  --pictures N           pictures per call                    (default 1)
  --picture FILE         send this file instead of a generated picture; repeat for more,
                         used in turn
  --resolution 1|2|3     160x128, 320x240 or 640x480 until the settings say otherwise (default 2)
  --quality Q            JPEG quality of generated pictures   (default 50)
  --before TEXT, --between TEXT, --after TEXT
                         bytes around the pictures; escapes \r \n \t \0 \\ \xNN
  --report PATH          write each settings exchange received as key=value lines to PATH
  --settings-fault ITEM:R
                         answer the settings item ITEM with R instead of OK (error, silence,
                         nul, noise, longline, or a reply as above); ITEM is one of bc, time,
                         clock, apn, user, pass, oper, sim, email, tel1..tel4, levels

Picture faults
  --fault F              on every picture call: silence, nul, noise, longline, drop (the call
                         drops in the middle of a picture), truncate (the last picture is cut
                         short)
  --random-faults LIST   faults to pick from at random (default silence,noise,drop,truncate)
  --fault-rate P         probability of a random fault per picture call (default 0)
  --seed N               seed of every random choice          (default 1)

Control
  --call-every SECONDS   the unit calls in on its own this often
  --control FIFO         also read commands from FIFO (created when missing, removed at exit)
  --quit-on-eof          end when standard input ends (otherwise it is only no longer read)
  Commands, one a line on standard input or the FIFO:
    call [NUMBER]        the unit calls in now (or once the modem is free)
    hangup               the unit ends the current call now
    fault F              the next picture call gets fault F
    quit                 end
  SIGTERM and SIGINT end unitsim cleanly as well.

Log
  --log FILE             event log (default standard error): one key=value line an event;
                         every picture sent whole is logged with status=complete and its SHA-256
  --save-dir DIR         also save every picture sent whole as DIR/callNNNN-K.jpg
)";
}

} // namespace unitsim
