#include "acquisition/jpegcut.h"

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kEoi = 0xD9;
constexpr unsigned char kSos = 0xDA;

// Reads from p to the next marker: a run of FFs and the byte after it, which is the marker's
// code (the FFs before the last one are fill, as JPEG allows before any marker). Returns that
// code with p just after it, or -1 when the data ends first.
int nextMarker(const unsigned char* d, std::size_t n, std::size_t& p) {
    while (p < n && d[p] != kMarker) ++p;
    while (p < n && d[p] == kMarker) ++p;
    if (p >= n) return -1;
    return d[p++];
}

// Moves p past the next marker with the given code; false when the data ends first.
bool findPair(const unsigned char* d, std::size_t n, std::size_t& p, unsigned char code) {
    for (int c; (c = nextMarker(d, n, p)) >= 0;)
        if (c == code) return true;
    return false;
}

bool standalone(unsigned char m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD7); }

struct Walk {
    enum Kind {
        End,          // at: the D9 of the end marker
        Broken,       // at: where a marker was due but the segments stop making sense
        NextPicture,  // at: the FF of a start marker standing where a marker was due
        Incomplete,   // the data ends inside the picture
    } kind;
    std::size_t at = 0;
};

// One marker read where the segment structure has a marker due.
struct Marker {
    enum Kind {
        Segment,      // a marker with a length; q is past the whole segment
        Standalone,   // a marker without one
        End,          // at: the D9 of an end marker
        NextPicture,  // at: the FF of a start marker
        Broken,       // at: where the marker was due
        Incomplete,   // the data ends first
    } kind;
    unsigned char code = 0;
    std::size_t at = 0;
};

// Reads the marker due at q (fill bytes FF may stand before it) and moves q past it and, for
// a segment, past the segment's length and content.
Marker readMarker(const unsigned char* d, std::size_t n, std::size_t& q) {
    const std::size_t mark = q;
    if (q >= n) return {Marker::Incomplete};
    if (d[q] != kMarker) return {Marker::Broken, 0, mark};
    while (q < n && d[q] == kMarker) ++q;
    if (q >= n) return {Marker::Incomplete};
    const unsigned char m = d[q++];
    if (m == kEoi) return {Marker::End, m, q - 1};
    if (m == kSoi) return {Marker::NextPicture, m, q - 2};
    if (standalone(m)) return {Marker::Standalone, m, mark};
    // Codes below C0 (00 among them) are stuffing or reserved; no encoder writes them where a
    // marker is due, so the bytes here are no segment.
    if (m < 0xC0) return {Marker::Broken, m, mark};
    if (n - q < 2) return {Marker::Broken, m, mark};
    const std::size_t len = std::size_t(d[q]) << 8 | d[q + 1];
    if (len < 2 || len > n - q) return {Marker::Broken, m, mark};
    q += len;
    return {Marker::Segment, m, mark};
}

// Walks the picture whose start marker ends just before q by its structure: its segments by
// their lengths and, after each start of scan, the entropy-coded data, until a marker due is
// its end marker or the structure stops holding. What the segments hold is skipped unread.
Walk walk(const unsigned char* d, std::size_t n, std::size_t q) {
    for (;;) {
        const Marker m = readMarker(d, n, q);
        switch (m.kind) {
        case Marker::Standalone: continue;
        case Marker::End: return {Walk::End, m.at};
        case Marker::NextPicture: return {Walk::NextPicture, m.at};
        case Marker::Broken: return {Walk::Broken, m.at};
        case Marker::Incomplete: return {Walk::Incomplete};
        case Marker::Segment: break;
        }
        if (m.code != kSos) continue;
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

}  // namespace

std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length) {
    std::vector<JpegSlice> out;
    std::size_t p = 0;
    // Between pictures the byte-pair search finds the next start marker; the walk ends it.
    while (findPair(data, length, p, kSoi)) {
        const std::size_t start = p - 2;
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
            // The segments that held are not searched again: an end marker inside them (in a
            // comment, a thumbnail) is not this picture's end.
            p = w.at;
            if (!findPair(data, length, p, kEoi)) return out;
            out.push_back({start, p - 1});
            break;
        case Walk::Incomplete: return out;
        }
    }
    return out;
}
