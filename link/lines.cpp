#include "link/lines.h"
#include "platform/trace.h"

#include <algorithm>
#include <iterator>
#include <string_view>

int strncmp1(const char* text, const char* pattern, int n) {
    for (int i = 0; i < n; ++i)
        if (text[i] != pattern[i]) return 1;
    return 0;
}

Reply classifyLine(const char* line, int length, bool withClip) {
    struct Pattern {
        const char* text;
        int n;
        Reply reply;
    };
    static constexpr Pattern patterns[] = {
        {"OK", 2, Reply::Ok},       {"CONN", 4, Reply::Connect}, {"NO CA", 5, Reply::NoCarrier},
        {"ERROR", 5, Reply::Error}, {"+CRI", 4, Reply::Ring},    {"+CLIP", 5, Reply::Clip},
    };
    for (const auto& p : patterns) {
        if (p.reply == Reply::Clip && !withClip) break;
        if (length >= p.n && strncmp1(line, p.text, p.n) == 0) return p.reply;
    }
    return Reply::None;
}

namespace {
bool startsWith(const char* line, int length, std::string_view prefix) {
    return std::size_t(length) >= prefix.size() && strncmp1(line, prefix.data(), int(prefix.size())) == 0;
}
}  // namespace

bool announcesStart(const char* line, int length) {
    // What modems send when they come up: after a power-up, a reset, a brown-out or a USB
    // re-enumeration. Families differ, and some say nothing at all.
    static constexpr std::string_view starts[] = {
        "RDY", "^SYSSTART", "+CPIN: READY", "Call Ready", "SMS Ready", "PB DONE", "+WIND: 4",
    };
    return std::any_of(std::begin(starts), std::end(starts),
                       [&](std::string_view s) { return startsWith(line, length, s); });
}

bool isRing(const char* line, int length) {
    return startsWith(line, length, "+CRI") || startsWith(line, length, "RING");
}

RingKind ringKind(const char* line, int length) {
    constexpr std::string_view extended = "+CRING:";
    if (!startsWith(line, length, extended)) return RingKind::Data;
    std::size_t at = extended.size();
    while (at < std::size_t(length) && line[at] == ' ') ++at;
    const char* type = line + at;
    const int rest = length - int(at);
    // An alternating call begins as the service named first.
    const bool alt = startsWith(type, rest, "ALT ");
    const char* first = alt ? type + 4 : type;
    const int firstLength = alt ? rest - 4 : rest;
    if (startsWith(first, firstLength, "VOICE")) return RingKind::Voice;
    if (startsWith(first, firstLength, "FAX")) return RingKind::Fax;
    if (!alt && startsWith(first, firstLength, "GPRS")) return RingKind::Packet;
    return RingKind::Data;
}

namespace {
// The line without its line break and the blanks around it.
QByteArrayView trimmed(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.chop(1);
    while (!line.isEmpty() && line.front() == ' ') line = line.sliced(1);
    return line;
}
}  // namespace

QByteArray callerNumber(QByteArrayView line) {
    constexpr QByteArrayView clip = "+CLIP:";
    if (!line.startsWith(clip)) return {};
    const QByteArrayView rest = trimmed(line.sliced(clip.size()));
    if (rest.startsWith('"')) {
        const qsizetype close = rest.indexOf('"', 1);
        return (close < 0 ? rest.sliced(1) : rest.sliced(1, close - 1)).toByteArray();
    }
    const qsizetype comma = rest.indexOf(',');
    return trimmed(comma < 0 ? rest : rest.first(comma)).toByteArray();
}

QByteArray ringType(QByteArrayView line) {
    constexpr QByteArrayView extended = "+CRING:";
    if (!line.startsWith(extended)) return trimmed(line).toByteArray();
    return trimmed(line.sliced(extended.size())).toByteArray();
}

const char* replyName(Reply reply) {
    switch (reply) {
    case Reply::Ok: return "OK";
    case Reply::Connect: return "connect";
    case Reply::NoCarrier: return "no carrier";
    case Reply::Error: return "error";
    case Reply::Ring: return "ring";
    case Reply::Clip: return "caller";
    default: return "none";
    }
}

unsigned vvodResult(Reply reply) {
    switch (reply) {
    case Reply::Ok: return VV_OK;
    case Reply::Connect: return VV_CONNECT;
    case Reply::NoCarrier: return VV_NOCARRIER;
    case Reply::Error: return VV_ERROR;
    case Reply::Ring: return VV_RING;
    default: return VV_FAIL;
    }
}

bool LineHead::add(unsigned char b) {
    if (std::size_t(n_) < room_.size()) room_[std::size_t(n_++)] = char(b);
    ++length_;
    return b == '\n';
}

QByteArray LineHead::shown() const {
    const QByteArrayView head(room_.data(), std::min<qsizetype>(n_, plat::kTraceLine));
    QByteArray out = plat::escapeBytes(head);
    if (length_ > head.size()) out += "...(+" + QByteArray::number(length_ - head.size()) + ')';
    return out;
}
