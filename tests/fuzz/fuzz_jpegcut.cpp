// The JPEG cutter on any bytes. Checked on every input:
// - every stored picture is a contiguous slice of the input that begins FF D8 and ends FF D9;
// - the stored pictures do not overlap and come in input order;
// - pictures begin only at the start markers the byte-pair search finds after the picture
//   before (an FF and the byte after it make a pair; a run of FFs before a marker is fill,
//   the pair being its last FF and the byte after the run);
// - each picture's header segments, read by their lengths from its start marker, decide:
//   - an end marker where a marker is due (before any scan) ends it exactly there;
//   - a start marker where a marker is due: it is not stored, the next one begins there;
//   - where they stop holding together (no marker where one is due, a reserved marker code,
//     a length running past the data) it ends at the first end marker the byte-pair search
//     finds from that point on; with none, nothing from it on is stored;
//   - the data ending in the header: nothing from it on is stored;
//   - a start of scan: whatever the segments hold (FF D9, FF D8), the picture, if stored,
//     does not end inside its header, and the next one does not begin there. Where it ends
//     in or after its entropy-coded data is left to the cutter.
// The reference search and header reading below are written out here on their own.
#include "acquisition/jpegcut.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr unsigned char kFF = 0xFF, kSoi = 0xD8, kEoi = 0xD9;

// The next pair FF code from p on: an FF and the first byte after it that is no FF (the FFs
// between are fill). Returns the code found (SOI or EOI, whichever of the wanted ones comes
// first), or 0 when the data ends first. p ends just after the pair.
unsigned char nextPair(const std::uint8_t* d, std::size_t n, std::size_t& p, bool stopAtSoi) {
    while (p < n) {
        if (d[p++] != kFF) continue;
        while (p < n && d[p] == kFF) ++p;
        if (p >= n) return 0;
        const unsigned char c = d[p++];
        if (c == kEoi || (c == kSoi && stopAtSoi)) return c;
    }
    return 0;
}

struct Header {
    enum Kind {
        Scan,         // at: just past the start-of-scan segment
        End,          // at: the D9 of an end marker where a marker was due
        NextPicture,  // at: the FF of a start marker where a marker was due
        Broken,       // at: where a marker was due and none that makes sense stands
        Incomplete,   // the data ends first
    } kind;
    std::size_t at = 0;
};

// Reads the header segments of the picture whose start marker ends just before q.
Header readHeader(const std::uint8_t* d, std::size_t n, std::size_t q) {
    for (;;) {
        const std::size_t mark = q;
        if (q >= n) return {Header::Incomplete};
        if (d[q] != kFF) return {Header::Broken, mark};
        while (q < n && d[q] == kFF) ++q;  // fill bytes
        if (q >= n) return {Header::Incomplete};
        const unsigned char m = d[q++];
        if (m == kEoi) return {Header::End, q - 1};
        if (m == kSoi) return {Header::NextPicture, q - 2};
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
        if (m < 0xC0 || n - q < 2) return {Header::Broken, mark};
        const std::size_t len = std::size_t(d[q]) << 8 | d[q + 1];
        if (len < 2 || len > n - q) return {Header::Broken, mark};
        q += len;
        if (m == 0xDA) return {Header::Scan, q};
    }
}

[[noreturn]] void fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "fuzz_jpegcut: %s (offset %zu)\n", what, at);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy, so that a read one past the input is caught by the sanitizer.
    const std::vector<std::uint8_t> in(data, data + size);
    const std::uint8_t* d = in.data();
    const std::vector<JpegSlice> cut = cutJpegs(d, size);

    std::size_t nextFree = 0;
    for (const JpegSlice& s : cut) {
        if (s.end >= size || s.start + 3 > s.end) fail("slice outside the input", s.start);
        if (s.start < nextFree) fail("slices overlap or are out of order", s.start);
        if (d[s.start] != kFF || d[s.start + 1] != kSoi) fail("slice does not begin FF D8", s.start);
        if (d[s.end - 1] != kFF || d[s.end] != kEoi) fail("slice does not end FF D9", s.end);
        nextFree = s.end + 1;
    }

    // Walk the input picture by picture beside the cutter's result; k is the next slice.
    std::size_t p = 0, k = 0;
    for (;;) {
        // The start marker: the first pair FF D8, at the last FF before the D8.
        unsigned char code;
        while ((code = nextPair(d, size, p, true)) == kEoi) {
        }
        if (code != kSoi) {
            if (k != cut.size()) fail("stored a picture the byte-pair search does not find", cut[k].start);
            return 0;
        }
        const std::size_t a = p - 2;
        if (k < cut.size() && cut[k].start < a)
            fail("stored a picture the byte-pair search does not find", cut[k].start);
        const bool stored = k < cut.size() && cut[k].start == a;
        const Header h = readHeader(d, size, p);
        switch (h.kind) {
        case Header::End:
            if (!stored || cut[k].end != h.at) fail("a picture is not cut at the end marker its segments lead to", a);
            break;
        case Header::NextPicture:
            if (stored) fail("stored a picture that lost its end", a);
            p = h.at;
            continue;
        case Header::Broken: {
            std::size_t q = h.at;
            if (nextPair(d, size, q, false) != kEoi) {
                if (k != cut.size()) fail("stored a picture after one that never ended", cut[k].start);
                return 0;
            }
            if (!stored || cut[k].end != q - 1)
                fail("a broken picture is not cut at the first end marker after the break", a);
            break;
        }
        case Header::Incomplete:
            if (k != cut.size()) fail("stored a picture after one cut short in its header", cut[k].start);
            return 0;
        case Header::Scan:
            // Go on from what the cutter did: past the picture it stored from here, or from the
            // next picture it stored, this one having been left out.
            if (k >= cut.size()) return 0;
            if (stored) {
                if (cut[k].end <= h.at) fail("a picture ends inside its header", a);
            } else if (cut[k].start < h.at) {
                fail("a picture begins inside the header of another", cut[k].start);
            } else {
                p = cut[k].start;
                continue;
            }
            break;
        }
        p = cut[k].end + 1;
        ++k;
    }
}
