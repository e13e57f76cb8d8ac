#pragma once
// The modem's reply lines, recognised by their first bytes. Lines are cut at line feed only;
// a carriage return is an ordinary byte, so the echo of a command and the blank lines of a
// verbose reply are lines that match nothing.
#include <QByteArray>
#include <QByteArrayView>

#include <span>

enum class Reply { None, Ok, Connect, NoCarrier, Error, Ring, Clip };

// Results of the send-and-expect exchange vvod: the recognised reply, or 0 when it failed
// (the reason is then in linkerr).
enum VvodResult : unsigned { VV_FAIL = 0, VV_CONNECT = 1, VV_NOCARRIER = 2, VV_OK = 3, VV_ERROR = 4, VV_RING = 22 };

// Why a wait on the line failed, as linkerr holds it, and as "err N" shows it: no line that
// ended the wait came within its time-out; the line was lost (the port vanished, the modem said
// "NO CARRIER" or a NUL byte came); the operator cancelled; the modem answered "ERROR".
enum LinkError : int { LE_NONE = 0, LE_TIMEOUT = 1, LE_LOST = 2, LE_CANCEL = 3, LE_ERROR = 4 };

// The vvod result a recognised line gives; VV_FAIL for a line vvod does not know.
unsigned vvodResult(Reply reply);

// 0 when the first n bytes of text and pattern are equal, otherwise 1; compares exactly n bytes.
int strncmp1(const char* text, const char* pattern, int n);

// Tries the line (its bytes up to and including the line feed) against "OK", "CONN", "NO CA",
// "ERROR", "+CRI" and, when withClip is set, "+CLIP", in that order; the first match decides.
// A line shorter than a pattern never matches it: its own line feed differs from every
// pattern byte.
Reply classifyLine(const char* line, int length, bool withClip);

// True when the line is one by which a modem announces that it has (re)started: after such a
// line it has forgotten the ring and caller reports that preparing it asked for. Compared at
// the line start, like every reply; the table of these lines is kept in this one place.
bool announcesStart(const char* line, int length);

// True for a ring line of either form: "+CRING: ..." (extended ring reports on) or a bare
// "RING" (a modem that has forgotten them, or never had them).
bool isRing(const char* line, int length);

// What a ring line says is calling. "+CRING: <type>" names it: the data services (ASYNC,
// SYNC, REL ASYNC, REL SYNC and the ALT forms that begin with one of them) are the unit's
// kind of call; VOICE, FAX, GPRS and the ALT forms that begin with voice or fax are not. A
// bare "RING" cannot tell, and a type nobody knows is taken for data, as before.
enum class RingKind { Data, Voice, Fax, Packet };
RingKind ringKind(const char* line, int length);

// The number a caller line gives: the first quoted field of "+CLIP: "+79001112233",145,...",
// or its first field when a modem sends it without quotes; empty when withheld.
QByteArray callerNumber(QByteArrayView line);
// The type a ring line names ("REL ASYNC", "VOICE", "GPRS "IP",..."), or "RING" for a bare one.
QByteArray ringType(QByteArrayView line);

// What a line was taken for, in words, for the trace: "none", "OK", "connect", "no carrier",
// "error", "ring", "caller".
const char* replyName(Reply reply);

// The line being received, as the line rules see it; vvod and both phases of the reception
// take their bytes through it. A line ends with its line feed, which is part of it. Its head
// is its first bytes, as many as the room holds: the reply rules compare at most five, a ring's
// kind a few more, and the bytes beyond the room are only counted. Each line is written from
// the start of the room, so a long run of unrecognised lines never fills it.
class LineHead {
public:
    explicit LineHead(std::span<char> room) : room_(room) {}
    // Takes one byte; true when it ends the line.
    bool add(unsigned char b);
    // Starts the next line.
    void clear() { n_ = length_ = 0; }
    Reply reply(bool withClip) const { return classifyLine(room_.data(), n_, withClip); }
    bool announcesStart() const { return ::announcesStart(room_.data(), n_); }
    bool isRing() const { return ::isRing(room_.data(), n_); }
    RingKind ringKind() const { return ::ringKind(room_.data(), n_); }
    // The head of the line as it stands.
    QByteArrayView text() const { return {room_.data(), n_}; }
    // The line so far for the trace: its head escaped, and the count of bytes left out.
    QByteArray shown() const;

private:
    std::span<char> room_;
    int n_ = 0;       // bytes kept in the room
    int length_ = 0;  // of the whole line so far
};
