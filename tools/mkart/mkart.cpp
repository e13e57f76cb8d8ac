// Draws the artwork into a resources folder: vid.jpg (the placeholder the picture panes show
// before there is anything in the archive, a baseline JPEG encoded with libjpeg) and
// tools/0.png .. tools/7.png (the tool bar's images).
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

// Baseline, 4:2:0, standard tables: the smallest file any decoder reads.
bool writeJpeg(const QImage& source, const QString& path, int quality) {
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // the default handler exits; fine for a build tool
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = const_cast<JSAMPLE*>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

// A small video camera on a dusk-blue field: "a picture goes here".
QImage placeholder() {
    QImage img(32, 32, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 32);
    sky.setColorAt(0, QColor(70, 110, 160));
    sky.setColorAt(1, QColor(25, 40, 70));
    p.fillRect(img.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 230, 235));
    p.drawRoundedRect(QRectF(5, 11, 15, 11), 2, 2);                                                      // body
    p.drawPolygon(QPolygonF({QPointF(20, 14.5), QPointF(27, 11), QPointF(27, 22), QPointF(20, 18.5)}));  // lens hood
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QPointF(8.5, 14.5), 1.5, 1.5);  // recording light
    p.setBrush(QColor(225, 230, 235));
    p.drawEllipse(QPointF(9, 8), 3, 3);  // film reels
    p.drawEllipse(QPointF(16, 8), 3, 3);
    return img;
}

QImage blank() {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

QPen outline(const QColor& c, qreal width = 1) {
    QPen pen(c, width);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// 0: a sheet of paper with a folded corner.
QImage generic() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(90, 90, 90)));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(9.5, 1.5), QPointF(12.5, 4.5), QPointF(12.5, 14.5),
                             QPointF(3.5, 14.5)}));
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(QPolygonF({QPointF(9.5, 1.5), QPointF(9.5, 4.5), QPointF(12.5, 4.5)}));
    p.setPen(outline(QColor(150, 170, 200)));
    for (int y : {7, 9, 11}) p.drawLine(QPointF(5.5, y + 0.5), QPointF(10.5, y + 0.5));
    return img;
}

// 1: a nine-pin serial plug seen from the front.
QImage port() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(60, 60, 60)));
    p.setBrush(QColor(170, 180, 190));
    p.drawPolygon(QPolygonF({QPointF(0.5, 4.5), QPointF(15.5, 4.5), QPointF(13, 11.5), QPointF(3, 11.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(3.5 + 2.25 * i, 6.8), 0.9, 0.9);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(4.6 + 2.25 * i, 9.3), 0.9, 0.9);
    return img;
}

// 2: an aerial sending waves: get the modem ready and wait for the unit.
QImage connect() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(40, 40, 40), 1.5));
    p.drawLine(QPointF(8, 7), QPointF(8, 15));
    p.drawLine(QPointF(5, 15), QPointF(11, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QPointF(8, 6), 1.8, 1.8);
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(QColor(20, 140, 40), 1.3));
    for (qreal r : {3.5, 6.5}) {
        const QRectF box(8 - r, 6 - r, 2 * r, 2 * r);
        p.drawArc(box, -40 * 16, 80 * 16);
        p.drawArc(box, 140 * 16, 80 * 16);
    }
    return img;
}

// 3: a gear.
QImage settings() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(8, 8);
    QPainterPath gear;
    gear.addEllipse(QPointF(0, 0), 5, 5);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.3, -7.3, 2.6, 3));
        gear |= QTransform().rotate(45.0 * i).map(tooth);
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 2, 2);
    gear -= hole;
    p.setPen(outline(QColor(50, 60, 70)));
    p.setBrush(QColor(150, 160, 175));
    p.drawPath(gear);
    return img;
}

// 4: a photo camera: ask the unit for a picture.
QImage camera() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(30, 30, 30)));
    p.setBrush(QColor(70, 75, 85));
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
    p.drawRect(QRectF(5.5, 2.5, 5, 2));
    p.setBrush(QColor(120, 170, 230));
    p.setPen(outline(QColor(220, 220, 220)));
    p.drawEllipse(QPointF(8, 9), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 60));
    p.drawRect(QRectF(2.5, 5.5, 2, 1.5));
    return img;
}

// 5: the letter i in a blue disc: about the program.
QImage about() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(20, 60, 140)));
    p.setBrush(QColor(50, 110, 210));
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.7), 1.3, 1.3);
    p.drawRect(QRectF(6.9, 6.8, 2.2, 5.5));
    p.drawRect(QRectF(6, 11.3, 4, 1));
    return img;
}

// 6: a calendar sheet with one day marked: find pictures by their date.
QImage calendar() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(80, 80, 80)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 50, 40));
    p.drawRect(QRectF(2, 3, 12, 3));  // the month's band
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(4, 1, 1.5, 3));  // the rings
    p.drawRect(QRectF(10.5, 1, 1.5, 3));
    p.setBrush(QColor(150, 150, 150));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) p.drawRect(QRectF(3 + 2.6 * col, 7.3 + 2.3 * row, 1.6, 1.4));
    p.setBrush(QColor(40, 150, 60));
    p.drawRect(QRectF(7.9, 9.3, 2.8, 2.6));  // the day with pictures
    return img;
}

// 7: a board of three units, each with its state light: the units and how each stands.
QImage board() {
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(outline(QColor(80, 80, 80)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    const QColor lights[] = {QColor(40, 150, 60), QColor(40, 150, 60), QColor(200, 50, 40)};
    for (int row = 0; row < 3; ++row) {
        p.setBrush(lights[row]);
        p.drawEllipse(QPointF(4.5, 4.5 + 3.5 * row), 1.5, 1.5);
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(7, 3.8 + 3.5 * row, 6, 1.4));
    }
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkart RESOURCE_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("tools"))) {
        std::fprintf(stderr, "cannot create %s/tools\n", argv[1]);
        return 1;
    }
    bool ok = writeJpeg(placeholder(), dir.filePath(QStringLiteral("vid.jpg")), 90);
    const std::vector<QImage> tools{generic(), port(), connect(), settings(), camera(), about(), calendar(), board()};
    for (size_t i = 0; i < tools.size(); ++i)
        ok = tools[i].save(dir.filePath(QStringLiteral("tools/%1.png").arg(i)), "PNG") && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot write the artwork\n");
        return 1;
    }
    return 0;
}
