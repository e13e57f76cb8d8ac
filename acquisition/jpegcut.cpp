#include "acquisition/jpegcut.h"

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kEoi = 0xD9;
constexpr unsigned char kSos = 0xDA;

// Moves p past the next pair FF code; false when the data ends first. A byte after an FF is
// always consumed with it, whatever it is.
bool findPair(const unsigned char* d, std::size_t n, std::size_t& p, unsigned char code) {
    while (p < n) {
        if (d[p++] != kMarker) continue;
        if (p >= n) return false;
        if (d[p++] == code) return true;
    }
    return false;
}

// The same search for an end marker that also stops at a start marker; returns the code of
// the pair found (p just after it), or 0 when the data ends first.
unsigned char findEndOrStart(const unsigned char* d, std::size_t n, std::size_t& p) {
    while (p < n) {
        if (d[p++] != kMarker) continue;
        if (p >= n) return 0;
        const unsigned char c = d[p++];
        if (c == kEoi || c == kSoi) return c;
    }
    return 0;
}

bool standalone(unsigned char m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD7); }

struct Walk {
    enum Kind {
        End,         // at: the D9 of the end marker
        Broken,      // at: where a marker was due but the segments stop making sense
        NextPicture, // at: the FF of a start marker standing where a marker was due
        Incomplete,  // the data ends inside the picture
    } kind;
    std::size_t at = 0;
};

// Walks the segments of the picture whose start marker ends just before q.
Walk walk(const unsigned char* d, std::size_t n, std::size_t q) {
    for (;;) {
        const std::size_t mark = q;
        if (q >= n) return {Walk::Incomplete};
        if (d[q] != kMarker) return {Walk::Broken, mark};
        while (q < n && d[q] == kMarker) ++q;  // fill bytes may stand before a marker
        if (q >= n) return {Walk::Incomplete};
        const unsigned char m = d[q++];
        if (m == kEoi) return {Walk::End, q - 1};
        if (m == kSoi) return {Walk::NextPicture, q - 2};
        if (m == 0x00) return {Walk::Broken, mark};
        if (standalone(m)) continue;
        if (n - q < 2) return {Walk::Broken, mark};
        const std::size_t len = std::size_t(d[q]) << 8 | d[q + 1];
        if (len < 2 || len > n - q) return {Walk::Broken, mark};
        q += len;
        if (m != kSos) continue;
        // Entropy-coded data: an FF in it is followed by a stuffed 00, a restart marker or
        // more FFs; anything else is the next marker, which the walk takes up again.
        for (;;) {
            if (q >= n) return {Walk::Incomplete};
            if (d[q] != kMarker) {
                ++q;
                continue;
            }
            if (q + 1 >= n) return {Walk::Incomplete};
            const unsigned char b = d[q + 1];
            if (b == 0x00 || (b >= 0xD0 && b <= 0xD7)) q += 2;
            else if (b == kMarker) ++q;
            else break;
        }
    }
}

} // namespace

std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length) {
    std::vector<JpegSlice> out;
    std::size_t p = 0;
    while (findPair(data, length, p, kSoi)) {
        const std::size_t start = p - 2;
        // The byte-pair search decides the end, unless it meets another start marker first.
        std::size_t q = p;
        const unsigned char first = findEndOrStart(data, length, q);
        if (first == kEoi) {
            out.push_back({start, q - 1});
            p = q;
            continue;
        }
        if (first == 0) return out;  // the data ends inside the picture
        // A start marker inside the picture: its thumbnail, or the next picture after this one
        // lost its end. The segments tell which.
        const Walk w = walk(data, length, p);
        switch (w.kind) {
        case Walk::End:
            out.push_back({start, w.at});
            p = w.at + 1;
            break;
        case Walk::NextPicture:
            // This picture lost its end; the next one is not lost with it.
            p = w.at;
            break;
        case Walk::Broken:
            // The segments that held are not searched again: an end marker inside them (a
            // thumbnail's) is not this picture's end.
            p = w.at;
            if (!findPair(data, length, p, kEoi)) return out;
            out.push_back({start, p - 1});
            break;
        case Walk::Incomplete: return out;
        }
    }
    return out;
}
