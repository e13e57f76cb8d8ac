#include "codec.h"

namespace unitsim {

namespace {

constexpr char hexDigit(int v) { return "0123456789ABCDEF"[v & 15]; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One BCD byte: its value, or -1 when a nibble is not a decimal digit.
int bcd(unsigned char b) {
    const int hi = b >> 4, lo = b & 15;
    return hi <= 9 && lo <= 9 ? hi * 10 + lo : -1;
}

void appendBcdText(std::string& out, unsigned char b) {
    out += hexDigit(b >> 4);
    out += hexDigit(b & 15);
}

}  // namespace

ClockRecord decodeClockRecord(std::string_view record) {
    ClockRecord c;
    if (record.size() != 10) return c;
    const auto byte = [&](int i) { return static_cast<unsigned char>(record[i]); };
    c.second = bcd(byte(0));
    c.minute = bcd(byte(1));
    c.hour = bcd(byte(2));
    c.day = bcd(byte(3));
    c.month = bcd(byte(4));
    c.year = bcd(byte(5));
    c.valid = c.second >= 0 && c.second <= 59 && c.minute >= 0 && c.minute <= 59 && c.hour >= 0 && c.hour <= 23 &&
              c.day >= 1 && c.day <= 31 && c.month >= 1 && c.month <= 12 && c.year >= 0;
    for (int i : {2, 1, 0}) {
        appendBcdText(c.text, byte(i));
        if (i) c.text += ':';
    }
    c.text += ' ';
    for (int i : {3, 4, 5}) {
        appendBcdText(c.text, byte(i));
        if (i != 5) c.text += '.';
    }
    c.resolution = record[6];
    c.resolutionCheck = record[7];
    c.trailerValid = byte(8) == 0x01 && byte(9) == 0x01;
    return c;
}

PhoneRecord unpackPhone(std::string_view record) {
    PhoneRecord p;
    if (record.size() != 9) {
        p.problem = "record is not 9 bytes";
        return p;
    }
    const auto problem = [&](std::string text) {
        if (p.problem.empty()) p.problem = std::move(text);
    };
    int endByte = -1;  // index of the byte that holds the end mark
    for (int i = 0; i < 8 && endByte < 0; ++i) {
        const auto b = static_cast<unsigned char>(record[i]);
        for (int nibble : {b >> 4, b & 15}) {
            if (nibble == 0xB) {
                endByte = i;
                // An even count ends with a whole byte 0xB0.
                if (nibble == (b >> 4) && (b & 15) != 0) problem("end byte is not B0");
                break;
            }
            if (nibble <= 9) p.number += char('0' + nibble);
            else if (nibble == 0xA) p.number += '+';
            else if (nibble == 0xC) p.number += '*';
            else {
                p.number += '?';
                problem(std::string("no character has the code ") + hexDigit(nibble));
            }
        }
    }
    if (endByte < 0) problem("no end mark in the 8 bytes");
    for (int i = endByte + 1; endByte >= 0 && i < 8; ++i)
        if (static_cast<unsigned char>(record[i]) != 0x01) problem("filler byte is not 01");
    if (record[8] != '\r') problem("9th byte is not 0D");
    p.valid = p.problem.empty();
    return p;
}

std::optional<Size> sizeForResolution(char code) {
    switch (code) {
    case '1': return Size{160, 128};
    case '2': return Size{320, 240};
    case '3': return Size{640, 480};
    default: return std::nullopt;
    }
}

std::string hexBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        if (!out.empty()) out += ' ';
        out += hexDigit(b >> 4);
        out += hexDigit(b & 15);
    }
    return out;
}

std::string escapeValue(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        if (b < 0x20 || b == 0x7F || b == '\\') {
            out += "\\x";
            out += hexDigit(b >> 4);
            out += hexDigit(b & 15);
        } else {
            out += char(b);
        }
    }
    return out;
}

std::optional<std::string> unescapeArgument(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += char(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace unitsim
