// The JPEG cutter on any bytes. Checked on every input:
// - every stored picture is a contiguous slice of the input that begins FF D8 and ends FF D9;
// - the stored pictures do not overlap and come in input order;
// - a picture without a thumbnail is cut exactly where the plain byte-pair search cuts it
//   (an FF and the byte after it make a pair; a run of FFs before a marker is fill, the pair
//   being its last FF and the byte after the run);
// - a picture with a thumbnail, if stored, does not end before its start of scan.
//
// "With a thumbnail" means: the picture's segments, read by their lengths from its start
// marker, hold together up to a start of scan (FF DA), and the content of one of them holds
// the bytes FF D8. A picture without one whose byte-pair search for the end meets no further
// start marker (a pair FF D8) before the end marker, or the data's end, is cut by that search
// alone. The rest (a thumbnail, or the next picture after this one lost its end) is left to
// the segment walk of cutJpegs, which may store it whole, store it with a different end, or
// leave it out. The reference search and segment reading below are written out here on their
// own.
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

// Whether the picture whose start marker ends just before q carries a thumbnail (see above);
// scanEnd is then set just past its start-of-scan segment.
bool carriesThumbnail(const std::uint8_t* d, std::size_t n, std::size_t q, std::size_t& scanEnd) {
    bool embedded = false;
    for (;;) {
        if (q >= n || d[q] != kFF) return false;
        while (q < n && d[q] == kFF) ++q;  // fill bytes
        if (q >= n) return false;
        const unsigned char m = d[q++];
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
        if (m == 0x00 || m == kSoi || m == kEoi || n - q < 2) return false;
        const std::size_t len = std::size_t(d[q]) << 8 | d[q + 1];
        if (len < 2 || len > n - q) return false;
        if (m == 0xDA) {
            scanEnd = q + len;
            return embedded;
        }
        for (std::size_t c = q + 2; c + 1 < q + len; ++c)
            if (d[c] == kFF && d[c + 1] == kSoi) embedded = true;
        q += len;
    }
}

[[noreturn]] void fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "fuzz_jpegcut: %s (offset %zu)\n", what, at);
    std::abort();
}

} // namespace

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

    // Walk the input with the plain search, picture by picture, beside the cutter's result.
    std::size_t p = 0, k = 0;
    for (;;) {
        // The start marker: the first pair FF D8, at the last FF before the D8.
        unsigned char code;
        while ((code = nextPair(d, size, p, true)) == kEoi) {
        }
        const bool found = code == kSoi;
        const std::size_t a = p - 2;
        if (!found) {
            if (k != cut.size()) fail("stored a picture the byte-pair search does not find", cut[k].start);
            return 0;
        }
        std::size_t scanEnd = 0;
        const bool thumbnail = carriesThumbnail(d, size, a + 2, scanEnd);
        if (!thumbnail) {
            std::size_t q = a + 2;
            const unsigned char first = nextPair(d, size, q, true);
            if (first == kEoi) {
                // Cut exactly here.
                if (k >= cut.size() || cut[k].start != a || cut[k].end != q - 1) fail("a plain picture is cut elsewhere", a);
                ++k;
                p = q;
                continue;
            }
            if (first == 0) {
                // The data ends inside a plain picture: nothing more is stored.
                if (k != cut.size()) fail("stored a picture after one that never ended", cut[k].start);
                return 0;
            }
        }
        // A thumbnail, or a start marker inside the picture: the cutter's segment walk
        // decides. Go on from what it did: past the picture it stored from here, or from the
        // next picture it stored, this one having been left out.
        if (k >= cut.size()) return 0;
        if (cut[k].start < a) fail("stored a picture the byte-pair search does not find", cut[k].start);
        if (cut[k].start == a) {
            if (thumbnail && cut[k].end < scanEnd) fail("a picture with a thumbnail ends before its scan", a);
            p = cut[k].end + 1;
            ++k;
        } else {
            p = cut[k].start;
        }
    }
}
