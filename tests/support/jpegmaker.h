#pragma once
// Test pictures made here with libjpeg, so a fresh clone tests every case without outside data.
#include <QByteArray>

namespace rig {

struct JpegOptions {
    int width = 160;
    int height = 128;
    int quality = 75;
    bool progressive = false;
    unsigned seed = 1;  // varies the picture's content
};

// A complete JPEG (FF D8 ... FF D9) of a coloured pattern.
QByteArray makeJpeg(const JpegOptions& options = {});
// The same picture with an EXIF APP1 segment right after the start marker that carries a
// complete thumbnail JPEG of its own (its own FF D8 ... FF D9).
QByteArray makeJpegWithThumbnail(const JpegOptions& options = {});

} // namespace rig
