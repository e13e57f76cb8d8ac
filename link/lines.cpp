#include "link/lines.h"
#include "app/tform1.h"

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
        {"OK", 2, Reply::Ok},          {"CONN", 4, Reply::Connect}, {"NO CA", 5, Reply::NoCarrier},
        {"ERROR", 5, Reply::Error},    {"+CRI", 4, Reply::Ring},    {"+CLIP", 5, Reply::Clip},
    };
    for (const auto& p : patterns) {
        if (p.reply == Reply::Clip && !withClip) break;
        if (length >= p.n && strncmp1(line, p.text, p.n) == 0) return p.reply;
    }
    return Reply::None;
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

void convtel(unsigned char* out, const char* tel, int len) {
    for (int i = 0; i < 8; ++i) out[i] = 0x01;
    // Fifteen characters fill seven and a half bytes; more would push the end mark past
    // the eighth byte, so only the first fifteen are packed.
    if (len > 15) len = 15;
    if (len < 0) len = 0;
    auto code = [](char c, int& v) {
        if (c == '+') v = 0x0A;
        else if (c == '*') v = 0x0C;
        else if (c >= '0' && c <= '9') v = c - '0';
        else return false;
        return true;
    };
    int i = 0, o = 0;
    for (;;) {
        if (i >= len) {
            out[o] = 0xB0;
            return;
        }
        int v = 0;
        if (code(tel[i++], v)) out[o] = static_cast<unsigned char>(v << 4);
        if (i >= len) {
            out[o] = static_cast<unsigned char>(out[o] + 0x0B);
            return;
        }
        if (code(tel[i++], v)) out[o] = static_cast<unsigned char>(out[o] + v);
        ++o;
    }
}
