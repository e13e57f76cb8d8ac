// The JPEG cutter on any bytes. Checked on every input:
// - every stored picture is a contiguous slice of the input that begins FF D8 and ends FF D9;
// - the stored pictures do not overlap and come in input order;
// - a picture without a thumbnail is cut exactly where the plain byte-pair search cuts it.
//
// "Without a thumbnail" means: the byte-pair search for the end, going on from the picture's
// start marker, meets no further start marker (a pair FF D8) before it finds the end marker
// or the data ends. Only a picture that has one there (an EXIF thumbnail, or the next
// picture after this one lost its end) is left to the segment walk of cutJpegs, which may
// store it whole, store it with a different end, or leave it out. The reference search below
// is the plain one of the filing rules, written out here on its own.
#include "acquisition/jpegcut.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr unsigned char kFF = 0xFF, kSoi = 0xD8, kEoi = 0xD9;

// The next pair FF code from p on; a byte after an FF is always taken together with it.
// Returns the code found (SOI or EOI, whichever of the wanted ones comes first), or 0 when
// the data ends first. p ends just after the pair.
unsigned char nextPair(const std::uint8_t* d, std::size_t n, std::size_t& p, bool stopAtSoi) {
    while (p < n) {
        if (d[p++] != kFF) continue;
        if (p >= n) return 0;
        const unsigned char c = d[p++];
        if (c == kEoi || (c == kSoi && stopAtSoi)) return c;
    }
    return 0;
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
        // The start marker: the first pair FF D8.
        std::size_t a = 0;
        bool found = false;
        while (p < size) {
            if (d[p++] != kFF) continue;
            if (p >= size) break;
            if (d[p++] == kSoi) {
                a = p - 2;
                found = true;
                break;
            }
        }
        if (!found) {
            if (k != cut.size()) fail("stored a picture the byte-pair search does not find", cut[k].start);
            return 0;
        }
        std::size_t q = a + 2;
        const unsigned char first = nextPair(d, size, q, true);
        if (first == kEoi) {
            // No thumbnail: cut exactly here.
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
        // A start marker inside the picture: the cutter's segment walk decides. Go on from
        // what it did: past the picture it stored from here, or from the next picture it
        // stored, this one having been left out.
        if (k >= cut.size()) return 0;
        if (cut[k].start < a) fail("stored a picture the byte-pair search does not find", cut[k].start);
        if (cut[k].start == a) {
            p = cut[k].end + 1;
            ++k;
        } else {
            p = cut[k].start;
        }
    }
}
