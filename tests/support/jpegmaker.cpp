#include "jpegmaker.h"

#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace rig {

QByteArray makeJpeg(const JpegOptions& o) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(o.width);
    c.image_height = JDIMENSION(o.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(size_t(o.width) * 3);
    unsigned s = o.seed * 2654435761u;
    while (c.next_scanline < c.image_height) {
        const unsigned y = c.next_scanline;
        for (int x = 0; x < o.width; ++x) {
            s = s * 1103515245u + 12345u;
            row[size_t(x) * 3 + 0] = static_cast<unsigned char>((x * 255) / std::max(1, o.width - 1));
            row[size_t(x) * 3 + 1] = static_cast<unsigned char>((y * 255) / std::max(1u, c.image_height - 1));
            row[size_t(x) * 3 + 2] = static_cast<unsigned char>((o.seed * 53 + (s >> 24) / 8) & 0xFF);
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    free(out);
    return bytes;
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
    auto u16 = [&](unsigned v) { tiff += char(v & 0xFF); tiff += char((v >> 8) & 0xFF); };
    auto u32 = [&](unsigned v) { for (int i = 0; i < 4; ++i) tiff += char((v >> (8 * i)) & 0xFF); };
    u16(0);   // IFD0: no entries
    u32(14);  // next IFD at 14
    u16(2);   // IFD1: two entries
    const unsigned thumbOffset = 14 + 2 + 2 * 12 + 4;
    u16(0x0201); u16(4); u32(1); u32(thumbOffset);                // JPEGInterchangeFormat
    u16(0x0202); u16(4); u32(1); u32(unsigned(thumb.size()));     // JPEGInterchangeFormatLength
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

} // namespace rig
