#pragma once
// Test pictures made here with libjpeg, so a fresh clone tests every case without outside data.
#include <QByteArray>
#include <QImage>

namespace rig {

enum class JpegColours {
    Rgb,
    Grey,
    Cmyk,  // a picture's four bytes a pixel (RGBA8888) taken as C, M, Y, K, stored as they are
};

struct JpegOptions {
    int width = 160;  // the made pattern's size; encodeJpeg takes the picture's
    int height = 128;
    int quality = 75;
    bool progressive = false;
    unsigned seed = 1;  // varies the made pattern's content
    JpegColours colours = JpegColours::Rgb;
    bool fullChroma = false;  // colour at full resolution (4:4:4) instead of halved (4:2:0)
};

// A picture encoded as options say: a complete JPEG (FF D8 ... FF D9). libjpeg adds the
// Adobe marker to a CMYK picture, which says the inks are stored inverted (255 = no ink).
QByteArray encodeJpeg(const QImage& picture, const JpegOptions& options = {});
// A coloured pattern of options' size and seed, encoded.
QByteArray makeJpeg(const JpegOptions& options = {});
// The same picture with an EXIF APP1 segment right after the start marker that carries a
// complete thumbnail JPEG of its own (its own FF D8 ... FF D9).
QByteArray makeJpegWithThumbnail(const JpegOptions& options = {});

}  // namespace rig
