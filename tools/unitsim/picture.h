#pragma once
// The camera: synthetic pictures with the unit's clock and a frame counter drawn in, encoded
// as baseline JPEG.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace unitsim {

// How the pictures of one unit differ from another's when several call: the colours of the
// unit's place among the callers (0: the usual ones) and a line naming it (empty: none).
struct Look {
    std::size_t palette = 0;
    std::string label;
};

// An RGB picture of `width` x `height` with `topLine` (the clock) and `bottomLine` (the frame
// counter) written in a built-in bitmap font, the background pattern shifted by `frame` so
// that no two frames look alike, in the colours of `look` and with its label under the clock. Returns the JPEG bytes,
// or an empty string when libjpeg refuses (it only does so for sizes or qualities out of range).
std::string makePicture(int width, int height, int quality, std::string_view topLine, std::string_view bottomLine,
                        std::uint32_t frame, const Look& look = {});

// Encodes packed 8-bit RGB rows as a baseline JPEG; empty on failure.
std::string encodeJpeg(const unsigned char* rgb, int width, int height, int quality);

}  // namespace unitsim
