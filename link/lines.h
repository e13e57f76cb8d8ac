#pragma once
// The modem's reply lines, recognised by their first bytes. Lines are cut at line feed only;
// a carriage return is an ordinary byte, so the echo of a command and the blank lines of a
// verbose reply are lines that match nothing.

enum class Reply { None, Ok, Connect, NoCarrier, Error, Ring, Clip };

// Results of the send-and-expect exchange vvod: the recognised reply, or 0 when it failed
// (the reason is then in linkerr).
enum VvodResult : unsigned { VV_FAIL = 0, VV_CONNECT = 1, VV_NOCARRIER = 2, VV_OK = 3, VV_ERROR = 4, VV_RING = 22 };

// The vvod result a recognised line gives; VV_FAIL for a line vvod does not know.
unsigned vvodResult(Reply reply);

// Tries the line (its bytes up to and including the line feed) against "OK", "CONN", "NO CA",
// "ERROR", "+CRI" and, when withClip is set, "+CLIP", in that order; the first match decides.
// A line shorter than a pattern never matches it: its own line feed differs from every
// pattern byte.
Reply classifyLine(const char* line, int length, bool withClip);

// What a line was taken for, in words, for the trace: "none", "OK", "connect", "no carrier",
// "error", "ring", "caller".
const char* replyName(Reply reply);
