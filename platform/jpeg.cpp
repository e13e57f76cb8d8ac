#include "platform/jpeg.h"

#include "platform/toolkit.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace plat {
namespace {

// A progressive picture has about ten scans; thousands of empty ones would keep the decoder
// busy for minutes, so a file with more than this is refused.
constexpr int kMaxScans = 256;
// Ceiling for the library's own buffers (the coefficient store of a progressive picture).
constexpr long kMaxLibraryMemory = 256L * 1024 * 1024;

// libjpeg reports a fatal error by calling error_exit, which must not return. Ours copies the
// message and jumps back to the decoding step that armed the jump buffer.
struct ErrorManager {
    jpeg_error_mgr pub;  // first member: the library hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

ErrorManager& errorManager(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void failWith(j_common_ptr cinfo, const char* text) {
    ErrorManager& err = errorManager(cinfo);
    std::snprintf(err.message, sizeof err.message, "%s", text);
    std::longjmp(err.jump, 1);
}

[[noreturn]] void onError(j_common_ptr cinfo) {
    ErrorManager& err = errorManager(cinfo);
    (*cinfo->err->format_message)(cinfo, err.message);
    std::longjmp(err.jump, 1);
}

// Warnings normally let decoding go on with whatever data is there. Running out of data is
// the exception: the library would pad the picture with grey and call it done, so a file
// cut short would pass for a good one.
void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) onError(cinfo);
    cinfo->err->num_warnings++;
}

void onProgress(j_common_ptr cinfo) {
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) failWith(cinfo, "Too many scans in JPEG file");
}

// One decoder: the library's state and our error and progress handlers. The steps that may
// jump back (open(), readPixels()) are plain functions over this record, so no C++ object
// with a destructor lives in a frame that a jump crosses or returns to.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};

    Decoder() {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = onError;
        err.pub.emit_message = onMessage;
        progress.progress_monitor = onProgress;
    }
    ~Decoder() { jpeg_destroy_decompress(&cinfo); }  // safe in every state, even never created
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

// Reads the header, checks the dimensions and starts the decompression.
bool open(Decoder& d, const unsigned char* data, unsigned long size, QSize atLeast) {
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.progress = &d.progress;
    d.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_mem_src(&d.cinfo, data, size);  // an empty buffer is an error here
    jpeg_read_header(&d.cinfo, TRUE);
    if (d.cinfo.image_width > kMaxJpegDimension || d.cinfo.image_height > kMaxJpegDimension) {
        d.cinfo.err->msg_code = JERR_IMAGE_TOO_BIG;
        d.cinfo.err->msg_parm.i[0] = int(kMaxJpegDimension);
        onError(reinterpret_cast<j_common_ptr>(&d.cinfo));
    }
    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: d.cinfo.out_color_space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK: d.cinfo.out_color_space = JCS_CMYK; break;
    default: d.cinfo.out_color_space = JCS_RGB; break;
    }
    if (atLeast.isValid()) {
        unsigned denom = 8;
        while (denom > 1 && (d.cinfo.image_width / denom < unsigned(atLeast.width()) ||
                             d.cinfo.image_height / denom < unsigned(atLeast.height())))
            denom /= 2;
        d.cinfo.scale_num = 1;
        d.cinfo.scale_denom = denom;
    }
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// Decodes every row into the image memory and reads on to the end-of-image marker.
bool readPixels(Decoder& d, unsigned char* pixels, qsizetype stride) {
    if (setjmp(d.err.jump)) return false;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = pixels + qsizetype(d.cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1)
            failWith(reinterpret_cast<j_common_ptr>(&d.cinfo), "JPEG decoder made no progress");
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

// CMYK rows were decoded four bytes a pixel straight into an RGB32 image; turn them into
// RGB in place. Files with an Adobe marker store the inks inverted.
void cmykToRgb(QImage& image, bool inverted) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uchar* in = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x, in += 4) {
            int c = in[0], m = in[1], yl = in[2], k = in[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yl = 255 - yl;
                k = 255 - k;
            }
            // Reading all four bytes before the write: the pixel overwrites its own source.
            line[x] = qRgb(c * k / 255, m * k / 255, yl * k / 255);
        }
    }
}

}  // namespace

QImage decodeJpeg(const QByteArray& data, QString* error, QSize atLeast) {
    Decoder d;
    auto failed = [&] {
        if (error) *error = QString::fromLocal8Bit(d.err.message);
        return QImage();
    };
    if (!open(d, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()),
              atLeast))
        return failed();

    const int width = int(d.cinfo.output_width);
    const int height = int(d.cinfo.output_height);
    QImage::Format format = QImage::Format_RGB888;
    int components = 3;
    if (d.cinfo.out_color_space == JCS_GRAYSCALE) {
        format = QImage::Format_Grayscale8;
        components = 1;
    } else if (d.cinfo.out_color_space == JCS_CMYK) {
        format = QImage::Format_RGB32;
        components = 4;
    }
    if (d.cinfo.output_components != components) {
        std::snprintf(d.err.message, sizeof d.err.message, "Unsupported JPEG colour layout");
        return failed();
    }
    QImage image(width, height, format);
    if (image.isNull()) {
        std::snprintf(d.err.message, sizeof d.err.message, "Insufficient memory for a %dx%d picture", width, height);
        return failed();
    }
    if (!readPixels(d, image.bits(), image.bytesPerLine())) return failed();
    if (format == QImage::Format_RGB32) cmykToRgb(image, d.cinfo.saw_Adobe_marker);
    return image;
}

QImage loadJpegFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw ToolkitError(QStringLiteral("Cannot open file %1").arg(path));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) throw ToolkitError(QStringLiteral("Cannot open file %1").arg(path));
    QString error;
    QImage image = decodeJpeg(data, &error);
    if (image.isNull()) throw ToolkitError(QStringLiteral("%1: %2").arg(path, error));
    return image;
}

QImage placeholderPicture() {
    QFile file(QStringLiteral(":/vid.jpg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return decodeJpeg(file.readAll(), nullptr);
}

}  // namespace plat
