#include "picture.h"

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace unitsim {

namespace {

// 5x7 glyphs, one row a byte, bit 4 leftmost.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};
constexpr std::array<Glyph, 17> font{{
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
}};

// The colours of a look: which of the picture's three colour components goes to red, green and
// blue. The first is the usual blue sky over an orange block; then a green, red, yellow, magenta
// and cyan sky.
constexpr std::array<std::array<int, 3>, 6> palettes{
    {{0, 1, 2}, {0, 2, 1}, {2, 1, 0}, {2, 2, 0}, {2, 0, 2}, {0, 2, 2}}};

const Glyph* glyphFor(char c) {
    for (const auto& g : font)
        if (g.c == c) return &g;
    return nullptr;  // blank
}

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), rgb_(std::size_t(w) * h * 3) {}

    void set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        auto* p = &rgb_[(std::size_t(y) * w_ + x) * 3];
        p[0] = r, p[1] = g, p[2] = b;
    }

    void fill(int x0, int y0, int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) set(x, y, r, g, b);
    }

    // Text in white on a dark shadow, `scale` pixels a font dot.
    void text(int x, int y, int scale, std::string_view s) {
        for (int pass = 0; pass < 2; ++pass) {
            const int off = pass == 0 ? scale / 2 + 1 : 0;
            const std::uint8_t v = pass == 0 ? 0 : 255;
            int cx = x;
            for (char c : s) {
                if (const Glyph* g = glyphFor(c)) {
                    for (int row = 0; row < 7; ++row)
                        for (int col = 0; col < 5; ++col)
                            if (g->rows[row] & (0x10 >> col))
                                fill(cx + col * scale + off, y + row * scale + off, scale, scale, v, v, v);
                }
                cx += 6 * scale;
            }
        }
    }

    const unsigned char* data() const { return rgb_.data(); }

private:
    int w_, h_;
    std::vector<unsigned char> rgb_;
};

struct JpegErrorExit {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrorExit*>(cinfo->err)->jump, 1); }

void jpegQuiet(j_common_ptr, int) {}

struct JpegEncoder {
    jpeg_compress_struct cinfo{};
    JpegErrorExit err{};
    unsigned char* out = nullptr;
    unsigned long size = 0;
};

}  // namespace

std::string encodeJpeg(const unsigned char* rgb, int width, int height, int quality) {
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return {};
    // Held on the heap and not touched by longjmp, so its members stay valid after an error.
    const auto enc = std::make_unique<JpegEncoder>();
    enc->cinfo.err = jpeg_std_error(&enc->err.mgr);
    enc->err.mgr.error_exit = jpegErrorExit;
    enc->err.mgr.emit_message = jpegQuiet;
    if (setjmp(enc->err.jump)) {
        jpeg_destroy_compress(&enc->cinfo);
        std::free(enc->out);
        return {};
    }
    jpeg_create_compress(&enc->cinfo);
    jpeg_mem_dest(&enc->cinfo, &enc->out, &enc->size);
    enc->cinfo.image_width = JDIMENSION(width);
    enc->cinfo.image_height = JDIMENSION(height);
    enc->cinfo.input_components = 3;
    enc->cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&enc->cinfo);
    jpeg_set_quality(&enc->cinfo, quality, TRUE);
    jpeg_start_compress(&enc->cinfo, TRUE);
    while (enc->cinfo.next_scanline < enc->cinfo.image_height) {
        auto* row = const_cast<unsigned char*>(rgb + std::size_t(enc->cinfo.next_scanline) * width * 3);
        jpeg_write_scanlines(&enc->cinfo, &row, 1);
    }
    jpeg_finish_compress(&enc->cinfo);
    std::string bytes(reinterpret_cast<const char*>(enc->out), enc->size);
    jpeg_destroy_compress(&enc->cinfo);
    std::free(enc->out);
    return bytes;
}

std::string makePicture(int width, int height, int quality, std::string_view topLine, std::string_view bottomLine,
                        std::uint32_t frame, const Look& look) {
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return {};
    Canvas c(width, height);
    const auto& order = palettes[look.palette % palettes.size()];
    const auto tint = [&](std::array<int, 3> v) {
        return std::array{std::uint8_t(v[order[0]]), std::uint8_t(v[order[1]]), std::uint8_t(v[order[2]])};
    };
    // A smooth sky-to-ground gradient compresses well, which keeps a picture small enough for
    // the line: at 960 bytes a second every kilobyte costs a second.
    const int shift = int(frame * 7 % 64);
    for (int y = 0; y < height; ++y) {
        const int v = y * 255 / height;
        for (int x = 0; x < width; ++x) {
            const int u = (x * 255 / width + shift * 4) & 255;
            const auto rgb = tint({40 + v / 3, 60 + u / 4, 200 - v / 2});
            c.set(x, y, rgb[0], rgb[1], rgb[2]);
        }
    }
    // A block that moves with the frame counter.
    const int bw = width / 6, bh = height / 5;
    const int bx = int((frame * 37) % unsigned(width - bw > 0 ? width - bw : 1));
    const auto block = tint({200, 120, 40});
    c.fill(bx, height - bh - height / 10, bw, bh, block[0], block[1], block[2]);

    const int scale = width >= 160 ? width / 160 : 1;
    const int margin = 2 * scale + 2;
    c.text(margin, margin, scale, topLine);
    c.text(margin, margin + 10 * scale, scale, look.label);
    c.text(margin, height - margin - 7 * scale - scale, scale, bottomLine);
    return encodeJpeg(c.data(), width, height, quality);
}

}  // namespace unitsim
