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

// The same search for an end marker that also stops at a start marker; returns the code of
// the marker found (p just after it), or 0 when the data ends first.
unsigned char findEndOrStart(const unsigned char* d, std::size_t n, std::size_t& p) {
    for (int c; (c = nextMarker(d, n, p)) >= 0;)
        if (c == kEoi || c == kSoi) return static_cast<unsigned char>(c);
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

// One marker read where the segment structure has a marker due.
struct Marker {
    enum Kind {
        Segment,     // a marker with a length; q is past the whole segment
        Standalone,  // a marker without one
        End,         // at: the D9 of an end marker
        NextPicture, // at: the FF of a start marker
        Broken,      // at: where the marker was due
        Incomplete,  // the data ends first
    } kind;
    unsigned char code = 0;
    std::size_t at = 0;
    std::size_t content = 0;  // Segment: where its content begins, after the two length bytes
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
    if (m == 0x00) return {Marker::Broken, m, mark};
    if (standalone(m)) return {Marker::Standalone, m, mark};
    if (n - q < 2) return {Marker::Broken, m, mark};
    const std::size_t len = std::size_t(d[q]) << 8 | d[q + 1];
    if (len < 2 || len > n - q) return {Marker::Broken, m, mark};
    q += len;
    return {Marker::Segment, m, mark, q - len + 2};
}

// Whether the segments of the picture whose start marker ends just before q hold together up
// to the start of scan, and one of them carries a start marker of its own: an embedded picture,
// such as the thumbnail in an EXIF APP1 segment. Its start marker is looked for in the plain
// bytes of the segment.
bool carriesPicture(const unsigned char* d, std::size_t n, std::size_t q) {
    bool embedded = false;
    for (;;) {
        const Marker m = readMarker(d, n, q);
        if (m.kind == Marker::Standalone) continue;
        if (m.kind != Marker::Segment) return false;
        if (m.code == kSos) return embedded;
        for (std::size_t c = m.content; !embedded && c + 1 < q; ++c)
            embedded = d[c] == kMarker && d[c + 1] == kSoi;
    }
}

// Walks the segments of the picture whose start marker ends just before q.
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

} // namespace

std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length) {
    std::vector<JpegSlice> out;
    std::size_t p = 0;
    while (findPair(data, length, p, kSoi)) {
        const std::size_t start = p - 2;
        // A picture with an embedded one ends where its segments say: the end marker that the
        // byte-pair search finds first may be the thumbnail's, or lie in the EXIF data before it.
        if (!carriesPicture(data, length, p)) {
            // Every other picture ends where the byte-pair search ends it, unless the search
            // meets another start marker first: the next picture after this one lost its end,
            // or a thumbnail in segments that do not hold together. The segments tell which.
            std::size_t q = p;
            const unsigned char first = findEndOrStart(data, length, q);
            if (first == 0) return out;  // the data ends inside the picture
            if (first == kEoi) {
                out.push_back({start, q - 1});
                p = q;
                continue;
            }
        }
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
