#include "unit.h"

#include "codec.h"
#include "picture.h"
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

namespace unitsim {

namespace {

constexpr std::size_t maxLine = 512;   // a request line longer than this is not one
constexpr std::size_t maxText = 4096;  // settings texts are cut here
constexpr std::size_t longLineBytes = 5000;
// The program waits at most 40 s for any answer; an exchange silent for longer is over.
constexpr auto exchangeGap = std::chrono::seconds(45);

std::size_t rawSize(Item item) { return item == Item::Clock ? 10 : 9; }
bool isRaw(Item item) { return item == Item::Clock || (item >= Item::Tel1 && item <= Item::Tel4); }

std::string printable(const std::string& s) { return escapeValue(s.size() > 40 ? s.substr(0, 40) + "..." : s); }

// Local time of a valid clock record as seconds since the epoch.
std::optional<std::time_t> recordTime(const ClockRecord& c) {
    if (!c.valid) return std::nullopt;
    std::tm tm{};
    tm.tm_sec = c.second;
    tm.tm_min = c.minute;
    tm.tm_hour = c.hour;
    tm.tm_mday = c.day;
    tm.tm_mon = c.month - 1;
    tm.tm_year = 100 + c.year;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1)) return std::nullopt;
    return t;
}

}  // namespace

std::string garbleBytes(Garble garble, Rng& rng) {
    switch (garble) {
    case Garble::None: return {};
    case Garble::Nul: return std::string(1, '\0');
    case Garble::Noise: {
        // No NUL, no line feed and no 0xFF: noise must neither end a line nor start a marker.
        std::string s(rng.between(16, 64), ' ');
        for (auto& c : s) {
            int v;
            do v = int(rng.between(1, 254));
            while (v == '\n');
            c = char(v);
        }
        return s;
    }
    case Garble::LongLine: {
        const std::string pattern = "LONGLINE-0123456789-";
        std::string s;
        while (s.size() < longLineBytes) s += pattern;
        s.resize(longLineBytes);
        return s;
    }
    }
    return {};
}

Unit::Unit(const Options& options, EventLog& log, Rng& rng)
    : opt_(options), log_(log), rng_(rng), resolution_(options.resolution) {
    for (const auto& path : opt_.pictureFiles) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) bytes.clear();
        if (bytes.empty()) {
            error_ = "cannot read picture " + path;
            return;
        }
        files_.push_back(std::move(bytes));
    }
}

std::string Unit::clockText() const {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + clockOffset_);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%H:%M:%S %d.%m.%y", &tm);
    return buf;
}

void Unit::callStarted(Link link, int call, Time now, Look look) {
    link_ = link;
    call_ = call;
    look_ = std::move(look);
    streaming_ = false;
    expect_ = Expect::Command;
    buf_.clear();
    overflow_ = false;
    lastByte_ = now;
}

void Unit::callEnded() {
    if (inExchange_) finishExchange(false, "the call ended");
    streaming_ = false;
    expect_ = Expect::Command;
    buf_.clear();
}

std::optional<Time> Unit::deadline() const {
    if (!inExchange_) return std::nullopt;
    return lastByte_ + exchangeGap;
}

void Unit::tick(Time now) {
    if (inExchange_ && now - lastByte_ > exchangeGap) finishExchange(false, "nothing more came");
}

Response Unit::receive(unsigned char byte, Time now) {
    tick(now);
    lastByte_ = now;
    switch (expect_) {
    case Expect::Command:
        if (byte == '\r') {
            std::string line;
            line.swap(buf_);
            if (overflow_) {
                overflow_ = false;
                log_.write("unit-ignored", {{"bytes", std::to_string(line.size()) + "+"}});
                return {};
            }
            return command(line, now);
        }
        if (byte == '\n' && buf_.empty()) return {};
        if (buf_.size() < maxLine) buf_ += char(byte);
        else overflow_ = true;
        return {};
    case Expect::Raw:
        buf_ += char(byte);
        if (buf_.size() < rawSize(item_)) return {};
        break;
    case Expect::Text:
        if (byte != '\r') {
            if (buf_.size() < maxText) buf_ += char(byte);
            return {};
        }
        break;
    }
    // A whole item has arrived.
    const Item item = item_;
    itemReceived();
    return answer(item);
}

Response Unit::command(const std::string& line, Time now) {
    if (line == "foto1") {
        if (streaming_) return {};
        return sendPictures();
    }
    if (line == "BC") return answer(Item::Bc);
    if (line == "time ") {
        beginExchange(now);
        return answer(Item::Time);
    }
    log_.write("unit-ignored", {{"line", printable(line)}});
    return {};
}

void Unit::beginExchange(Time now) {
    if (inExchange_) finishExchange(false, "a new exchange began");
    inExchange_ = true;
    ++exchange_;
    acknowledged_ = 0;
    report_.clear();
    sim_.clear();
    newResolution_.reset();
    newOffset_.reset();
    item_ = Item::Time;
    lastByte_ = now;
    log_.write("settings-begin", {{"exchange", std::to_string(exchange_)}});
}

void Unit::itemReceived() {
    const std::string value = std::move(buf_);
    buf_.clear();
    const auto key = std::string(itemName(item_));
    switch (item_) {
    case Item::Clock: {
        const ClockRecord c = decodeClockRecord(value);
        add("clock", c.text);
        add("clock_valid", c.valid && c.trailerValid ? "1" : "0");
        add("clock_raw", hexBytes(value));
        add("resolution", std::string(1, c.resolution));
        add("resolution_check", std::string(1, c.resolutionCheck));
        const auto size = sizeForResolution(c.resolution);
        if (size && c.resolution == c.resolutionCheck) {
            add("picture_size", std::to_string(size->width) + "x" + std::to_string(size->height));
            newResolution_ = c.resolution;
        } else {
            add("picture_size", "?");
        }
        if (const auto t = recordTime(c))
            newOffset_ =
                std::chrono::seconds(*t - std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
        break;
    }
    case Item::Tel1:
    case Item::Tel2:
    case Item::Tel3:
    case Item::Tel4: {
        const PhoneRecord p = unpackPhone(value);
        add(key, p.number);
        add(key + "_raw", hexBytes(value));
        add(key + "_valid", p.valid ? "1" : "0");
        if (!p.valid) add(key + "_problem", p.problem);
        break;
    }
    case Item::Sim:
        sim_ = value;
        add(key, value);
        break;
    default: add(key, value); break;
    }
}

Response Unit::answer(Item item) {
    Reply reply{"OK"};
    for (const auto& f : opt_.settingsFaults)
        if (f.item == item) reply = f.reply;
    const bool ok = reply.text == "OK";
    Response r;
    std::string bytes = garbleBytes(reply.garble, rng_);
    if (!reply.silent()) bytes += reply.text + "\r\n";
    if (!bytes.empty()) r.segments.push_back(Segment{std::move(bytes), {}, false});
    log_.write("settings-item", {{"item", itemName(item)}, {"reply", reply.silent() ? "(none)" : reply.text}});
    if (item == Item::Bc) return r;
    if (!ok) {
        if (inExchange_) {
            add("failed_item", itemName(item));
            finishExchange(false, "the item was refused");
        }
        return r;
    }
    ++acknowledged_;
    // What comes next.
    Item next = Item(int(item) + 1);
    if (item == Item::Sim && sim_ == "1") next = Item::Bc;  // the unit keeps its SIM's settings
    if (item == Item::Levels) next = Item::Bc;
    if (next == Item::Bc) {
        finishExchange(true, "");
    } else {
        item_ = next;
        expect_ = isRaw(next) ? Expect::Raw : Expect::Text;
        buf_.clear();
    }
    return r;
}

void Unit::finishExchange(bool complete, const char* why) {
    if (!inExchange_) return;
    inExchange_ = false;
    expect_ = Expect::Command;
    buf_.clear();
    if (complete) {
        if (newResolution_) resolution_ = *newResolution_;
        if (newOffset_) clockOffset_ = *newOffset_;
    } else if (std::none_of(report_.begin(), report_.end(), [](const auto& kv) { return kv.first == "failed_item"; })) {
        add("failed_item", itemName(item_));
    }
    SettingsReport rep;
    rep.exchange = exchange_;
    rep.via = link_ == Link::Cable ? "cable" : "call";
    rep.complete = complete;
    rep.acknowledged = acknowledged_;
    rep.entries = report_;
    log_.write("settings-end", {{"exchange", std::to_string(exchange_)},
                                {"complete", complete ? "1" : "0"},
                                {"acknowledged", std::to_string(acknowledged_)},
                                {"why", complete ? "all items arrived" : why}});
    if (!opt_.reportPath.empty() && !writeReport(opt_.reportPath, rep))
        log_.write("error", {{"text", "cannot write the report " + opt_.reportPath}});
}

std::string Unit::nextPicture() {
    if (!files_.empty()) {
        const std::string& f = files_[nextFile_ % files_.size()];
        ++nextFile_;
        return f;
    }
    const auto size = sizeForResolution(resolution_).value_or(Size{320, 240});
    char counter[48];
    std::snprintf(counter, sizeof counter, "#%04u %dx%d", unsigned(++frame_ % 10000), size.width, size.height);
    return makePicture(size.width, size.height, opt_.quality, clockText(), counter, frame_, look_);
}

Response Unit::sendPictures() {
    if (link_ == Link::Cable) call_ = ++cableRequests_;
    // The fault of this call: one armed by a command, else the fixed one, else maybe a random one.
    PictureFault fault = opt_.fault;
    bool random = false;
    if (armed_) {
        fault = *armed_;
        armed_.reset();
    } else if (fault == PictureFault::None && opt_.faultRate > 0 && !opt_.randomFaults.empty() &&
               rng_.chance(opt_.faultRate)) {
        fault = opt_.randomFaults[rng_.between(0, opt_.randomFaults.size() - 1)];
        random = true;
    }
    const bool inCall = link_ != Link::Cable;
    log_.write("pictures", {{"call", std::to_string(call_)},
                            {"count", std::to_string(opt_.picturesPerCall)},
                            {"fault", faultName(fault)},
                            {"chosen", random ? "random" : "fixed"}});
    Response r;
    if (fault == PictureFault::Silence) return r;  // the call stands until the idle hang-up
    streaming_ = inCall;
    r.hangUp = inCall;

    std::vector<std::string> pics;
    for (int i = 0; i < opt_.picturesPerCall; ++i) pics.push_back(nextPicture());
    const std::size_t n = pics.size();

    // Where a garble goes: before picture k (k == n: after the last one).
    std::size_t garbleAt = 0;
    if (random && (fault == PictureFault::Noise || fault == PictureFault::Nul)) garbleAt = rng_.between(0, n);
    const Garble garble = fault == PictureFault::Noise      ? Garble::Noise
                          : fault == PictureFault::Nul      ? Garble::Nul
                          : fault == PictureFault::LongLine ? Garble::LongLine
                                                            : Garble::None;
    // Which picture is cut, and after how many bytes (at least its start marker goes out, never its end marker).
    std::size_t cutPicture = n, cutAt = 0;
    if (fault == PictureFault::Drop || fault == PictureFault::Truncate) {
        cutPicture = fault == PictureFault::Drop && random ? rng_.between(0, n - 1) : n - 1;
        const std::size_t size = pics[cutPicture].size();
        cutAt = random ? rng_.between(2, size > 3 ? size - 2 : 2) : size / 2;
    }

    const auto plain = [&](std::string bytes) {
        if (!bytes.empty()) r.segments.push_back(Segment{std::move(bytes), {}, false});
    };
    plain(opt_.before);
    for (std::size_t i = 0; i < n; ++i) {
        if (garble != Garble::None && garbleAt == i) plain(garbleBytes(garble, rng_));
        if (i > 0) plain(opt_.between);
        PictureTag tag{call_, int(i + 1), pics[i].size(), sha256Hex(pics[i]), {}};
        if (i == cutPicture) {
            tag.fault = faultName(fault);
            r.segments.push_back(Segment{pics[i].substr(0, cutAt), tag, false});
            if (fault == PictureFault::Drop) return r;  // the call drops right here
            continue;
        }
        r.segments.push_back(Segment{std::move(pics[i]), tag, false});
    }
    if (garble != Garble::None && garbleAt == n) plain(garbleBytes(garble, rng_));
    plain(opt_.after);
    return r;
}

}  // namespace unitsim
