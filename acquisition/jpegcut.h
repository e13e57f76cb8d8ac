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
// Start markers are found by a byte-pair search: an FF and the byte after it make a pair, and
// a run of FFs before a marker is fill, so FF FF D8 starts a picture at its last FF.
//
// From its start marker a picture is read by its structure: its segments are walked by their
// lengths up to the start of scan, then its entropy-coded data (where FF 00 is a stuffed FF,
// FF D0 to FF D7 are restart markers and FFs before a marker are fill) up to the next marker,
// and so on over further scans of a progressive picture, until the marker due is the end
// marker (FF D9, fill FFs before it included). The picture ends there. What a segment holds
// plays no part: FF D9 or FF FF D9 in a comment, an ICC profile, a quantisation table or EXIF
// data does not end the picture, and FF D8 there (an EXIF thumbnail) starts no other; the
// thumbnail stays part of its picture.
//
// Where the structure stops holding together (no marker where one is due, a reserved marker
// code, a length running past the data) the end is the first end marker the byte-pair search
// finds from that point on; the segments that held before it are not searched. A start marker
// where a marker is due begins the next picture: the one before it lost its end. A picture
// whose end is not in the data is incomplete and left out.
std::vector<JpegSlice> cutJpegs(const unsigned char* data, std::size_t length);
