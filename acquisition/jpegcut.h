#pragma once
// Cutting the pictures out of a received byte stream. A picture runs from its start-of-image
// marker (FF D8) to its end-of-image marker (FF D9), both included; bytes around and between
// the pictures (modem text, the unit's own lines) play no part.
#include <cstddef>
#include <vector>

struct JpegSlice {
    std::size_t start;  // offset of the FF of FF D8
    std::size_t end;    // offset of the D9 of FF D9, included
    std::size_t size() const { return end - start + 1; }
    bool operator==(const JpegSlice&) const = default;
};

// Every complete picture in data[0, length), in stream order.
//
// Markers are found by a byte-pair search: a byte after an FF is always taken together with
// it, so FF FF D8 starts nothing while FF FF FF D8 starts a picture at its third byte, and
// FF FF D9 inside a picture does not end it. A picture ends at the first end marker that
// search finds after its start marker, unless the search meets another start marker first.
// Only then are the picture's segments walked by their lengths up to the start of scan, and
// the end marker is looked for in the entropy-coded data after it (and after any further
// scans of a progressive picture). So an EXIF thumbnail, with its own FF D8 ... FF D9 inside
// the APP1 segment, stays part of its picture, while every picture without one is cut exactly
// where the byte-pair search cuts it. Where the segments stop holding together (no marker
// where one is due, a length running past the data) the end is found by the byte-pair search,
// from that point on. A start marker where a marker is due begins the next picture: the one
// before it lost its end. A picture whose end is not in the data is incomplete and left out.
std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length);
