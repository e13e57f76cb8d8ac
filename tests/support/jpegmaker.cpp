#include "jpegmaker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace rig {

QByteArray encodeJpeg(const QImage& picture, const JpegOptions& o) {
    struct Layout {
        QImage::Format format;
        int components;
        J_COLOR_SPACE space;
    };
    const Layout l = o.colours == JpegColours::Grey   ? Layout{QImage::Format_Grayscale8, 1, JCS_GRAYSCALE}
                     : o.colours == JpegColours::Cmyk ? Layout{QImage::Format_RGBA8888, 4, JCS_CMYK}
                                                      : Layout{QImage::Format_RGB888, 3, JCS_RGB};
    const QImage src = picture.convertToFormat(l.format);
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(src.width());
    c.image_height = JDIMENSION(src.height());
    c.input_components = l.components;
    c.in_color_space = l.space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.fullChroma) c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto* row = const_cast<JSAMPLE*>(src.constScanLine(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    free(out);
    return bytes;
}

QByteArray makeJpeg(const JpegOptions& o) {
    // Red rises to the right, green downwards; blue is noise around a level set by the seed.
    QImage pattern(o.width, o.height, QImage::Format_RGB888);
    unsigned s = o.seed * 2654435761u;
    for (int y = 0; y < o.height; ++y) {
        uchar* row = pattern.scanLine(y);
        for (int x = 0; x < o.width; ++x) {
            s = s * 1103515245u + 12345u;
            row[x * 3 + 0] = static_cast<uchar>((x * 255) / std::max(1, o.width - 1));
            row[x * 3 + 1] = static_cast<uchar>((y * 255) / std::max(1, o.height - 1));
            row[x * 3 + 2] = static_cast<uchar>((o.seed * 53 + (s >> 24) / 8) & 0xFF);
        }
    }
    return encodeJpeg(pattern, o);
}

QByteArray makeJpegWithThumbnail(const JpegOptions& o) {
    JpegOptions t = o;
    t.width = 48;
    t.height = 40;
    t.progressive = false;
    t.seed = o.seed + 7;
    const QByteArray thumb = makeJpeg(t);
    const QByteArray main = makeJpeg(o);
    // A minimal TIFF structure: header, IFD0 with no entries pointing to IFD1, which holds
    // the thumbnail's offset and length; the thumbnail follows.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    auto u16 = [&](unsigned v) {
        tiff += char(v & 0xFF);
        tiff += char((v >> 8) & 0xFF);
    };
    auto u32 = [&](unsigned v) {
        for (int i = 0; i < 4; ++i) tiff += char((v >> (8 * i)) & 0xFF);
    };
    u16(0);   // IFD0: no entries
    u32(14);  // next IFD at 14
    u16(2);   // IFD1: two entries
    const unsigned thumbOffset = 14 + 2 + 2 * 12 + 4;
    u16(0x0201);
    u16(4);
    u32(1);
    u32(thumbOffset);  // JPEGInterchangeFormat
    u16(0x0202);
    u16(4);
    u32(1);
    u32(unsigned(thumb.size()));  // JPEGInterchangeFormatLength
    u32(0);
    tiff += thumb;
    QByteArray app1("Exif\0\0", 6);
    app1 += tiff;
    const int len = int(app1.size()) + 2;
    QByteArray seg;
    seg += char(0xFF);
    seg += char(0xE1);
    seg += char((len >> 8) & 0xFF);
    seg += char(len & 0xFF);
    seg += app1;
    return main.left(2) + seg + main.mid(2);
}

}  // namespace rig
