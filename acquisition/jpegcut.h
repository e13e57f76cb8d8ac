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
// Markers are found by a byte-pair search: an FF and the byte after it make a pair, and a run
// of FFs before a marker is fill, so FF FF D8 starts a picture at its second FF and FF FF D9
// inside a picture ends it at the D9. A picture ends at the first end marker that search finds
// after its start marker.
//
// The exception is a picture that carries another inside it (an EXIF thumbnail, with its own
// FF D8 ... FF D9 inside the APP1 segment): when its segments, walked by their lengths, hold
// together up to the start of scan and one of them holds the bytes FF D8, the end marker is
// looked for in the entropy-coded data after it (and after any further scans of a
// progressive picture). So the thumbnail stays part of its picture even where its own end
// marker, or an FF D9 in the EXIF data before it, would end the byte-pair search early, while
// every picture without one is cut exactly where the byte-pair search cuts it.
//
// When the byte-pair search meets another start marker before the end, the segments are
// walked the same way. Where they stop holding together (no marker where one is due, a length
// running past the data) the end is found by the byte-pair search, from that point on. A
// start marker where a marker is due begins the next picture: the one before it lost its
// end. A picture whose end is not in the data is incomplete and left out.
std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length);
