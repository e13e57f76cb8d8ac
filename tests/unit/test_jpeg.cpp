// The picture decoder: real camera pictures and pictures encoded here decode to the right
// size and colours; anything else (cut short, empty, random, mangled, absurd headers) gives an
// error naming the file, never a crash or a hang.
#include "jpegmaker.h"
#include "rig.h"
#include "timing.h"
#include "platform/jpeg.h"
#include "platform/toolkit.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

namespace {

// Four flat quadrants, red, green, blue and white: a swapped channel or a shifted row shows.
QImage quadrants(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    const int hw = width / 2, hh = height / 2;
    img.fill(Qt::white);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (x < hw && y < hh) img.setPixel(x, y, qRgb(220, 20, 20));
            else if (x >= hw && y < hh) img.setPixel(x, y, qRgb(20, 200, 20));
            else if (x < hw) img.setPixel(x, y, qRgb(20, 20, 220));
    return img;
}

bool near(QRgb a, QRgb b, int tolerance = 24) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Mean absolute difference per channel of two pictures of the same size.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// Offset of the first frame header (SOF0 baseline or SOF2 progressive), or -1.
qsizetype frameHeader(const QByteArray& jpeg) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2)) return i;
    return -1;
}

// The camera pictures of ../shared.
QString sharedPictures() { return rig::sharedDir() + "/pictures"; }

}  // namespace

class TestJpeg : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = tmp.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // The toolkit error loadJpegFile raises for path, or an empty text when it raises none.
    static QString loadError(const QString& path) {
        try {
            plat::loadJpegFile(path);
        } catch (const plat::ToolkitError& e) {
            return e.text();
        }
        return {};
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void realPictures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::newRow("baseline") << "baseline-150x103.jpg" << QSize(150, 103);
        QTest::newRow("progressive") << "progressive-150x103.jpg" << QSize(150, 103);
        // The EXIF thumbnail inside is a complete JPEG of its own; the picture is the big one.
        QTest::newRow("camera with thumbnail") << "camera-exif-thumbnail-512x512.jpg" << QSize(512, 512);
    }
    void realPictures() {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        REQUIRE_SHARED("the camera pictures were not decoded");
        const QString dir = sharedPictures();
        const QImage img = plat::loadJpegFile(dir + u'/' + file);
        QCOMPARE(img.size(), size);
    }

    void progressiveMatchesBaseline() {
        REQUIRE_SHARED("the two encodings were not compared");
        const QString dir = sharedPictures();
        const QImage base = plat::loadJpegFile(dir + "/baseline-150x103.jpg");
        const QImage prog = plat::loadJpegFile(dir + "/progressive-150x103.jpg");
        QCOMPARE(prog.size(), base.size());
        QVERIFY2(meanDifference(base, prog) < 4.0, "the two encodings of one picture decode differently");
    }

    void encodedPictures_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<bool>("gray");
        QTest::newRow("colour baseline") << QSize(64, 48) << false << false;
        QTest::newRow("colour progressive") << QSize(64, 48) << true << false;
        QTest::newRow("grey baseline") << QSize(64, 48) << false << true;
        QTest::newRow("grey progressive") << QSize(64, 48) << true << true;
        QTest::newRow("odd size, partial blocks") << QSize(37, 23) << false << false;
        QTest::newRow("one pixel") << QSize(1, 1) << true << false;
    }
    void encodedPictures() {
        QFETCH(QSize, size);
        QFETCH(bool, progressive);
        QFETCH(bool, gray);
        const QImage source = quadrants(size.width(), size.height());
        QString error;
        const rig::JpegColours colours = gray ? rig::JpegColours::Grey : rig::JpegColours::Rgb;
        const QByteArray jpeg =
            rig::encodeJpeg(source, {.quality = 90, .progressive = progressive, .colours = colours});
        const QImage img = plat::decodeJpeg(jpeg, &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QCOMPARE(img.size(), size);
        QCOMPARE(img.format() == QImage::Format_Grayscale8, gray);
        // Sample the middle of each quadrant, away from the blurred edges between them.
        const QImage expected = gray ? source.convertToFormat(QImage::Format_Grayscale8) : source;
        for (QPoint p :
             {QPoint(size.width() / 4, size.height() / 4), QPoint(size.width() * 3 / 4, size.height() / 4),
              QPoint(size.width() / 4, size.height() * 3 / 4), QPoint(size.width() * 3 / 4, size.height() * 3 / 4)})
            QVERIFY2(near(img.pixel(p), expected.pixel(p)), qPrintable(QStringLiteral("pixel %1,%2 is %3, expected %4")
                                                                           .arg(p.x())
                                                                           .arg(p.y())
                                                                           .arg(img.pixel(p), 8, 16)
                                                                           .arg(expected.pixel(p), 8, 16)));
    }

    void adobeCmyk() {
        // The four bytes of each pixel are inverted inks: no cyan, full magenta and yellow, no black.
        QImage inks(16, 16, QImage::Format_RGBA8888);
        inks.fill(QColor(255, 0, 0, 255));
        QString error;
        const QImage img = plat::decodeJpeg(rig::encodeJpeg(inks, {.colours = rig::JpegColours::Cmyk}), &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QCOMPARE(img.size(), QSize(16, 16));
        QVERIFY(near(img.pixel(8, 8), qRgb(255, 0, 0)));
    }

    void placeholderResource() {
        QFile f(QStringLiteral(":/vid.jpg"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const qsizetype sof = frameHeader(bytes);
        QVERIFY(sof > 0);
        QCOMPARE(uchar(bytes[sof + 1]), uchar(0xC0));  // baseline
        QVERIFY(bytes.size() > 900 && bytes.size() < 1400);
        QCOMPARE(plat::placeholderPicture().size(), QSize(32, 32));
    }

    void unreadableFilesNameTheFile() {
        const QByteArray good = rig::encodeJpeg(quadrants(64, 48), {.quality = 90});
        const QString truncated = write("cut.jpg", good.left(good.size() / 2));
        const QString empty = write("empty.jpg", {});
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator rng(7);
        for (char& c : noise) c = char(rng.bounded(256));
        const QString random = write("noise.jpg", noise);
        const QString missing = tmp.filePath("absent.jpg");

        QCOMPARE(loadError(truncated), truncated + ": Premature end of JPEG file");
        QCOMPARE(loadError(empty), empty + ": Empty input file");
        QVERIFY(loadError(random).startsWith(random + ": "));
        QVERIFY(loadError(random).size() > random.size() + 2);
        QCOMPARE(loadError(missing), "Cannot open file " + missing);
        QVERIFY(loadError(tmp.path()).contains(tmp.path()));  // a folder is no picture either
    }

    // A picture cut anywhere, even just before its end marker, is an error: the library alone
    // would fill the missing rows with grey and report success.
    void everyPrefixIsAnError() {
        for (bool progressive : {false, true}) {
            const QByteArray whole = rig::encodeJpeg(quadrants(24, 16), {.quality = 75, .progressive = progressive});
            QVERIFY(!plat::decodeJpeg(whole, nullptr).isNull());
            for (qsizetype n = 0; n < whole.size(); ++n) {
                QString error;
                const QImage img = plat::decodeJpeg(whole.left(n), &error);
                QVERIFY2(img.isNull(), qPrintable(QStringLiteral("prefix of %1 bytes decoded").arg(n)));
                QVERIFY(!error.isEmpty());
            }
        }
    }

    void absurdDimensionsAreRefused() {
        QByteArray jpeg = rig::encodeJpeg(quadrants(16, 16), {.quality = 90});
        const qsizetype sof = frameHeader(jpeg);
        QVERIFY(sof > 0);
        auto setSize = [&](int w, int h) {
            jpeg[sof + 5] = char(h >> 8);
            jpeg[sof + 6] = char(h);
            jpeg[sof + 7] = char(w >> 8);
            jpeg[sof + 8] = char(w);
        };
        QString error;
        setSize(60000, 60000);
        QVERIFY(plat::decodeJpeg(jpeg, &error).isNull());
        QCOMPARE(error, QStringLiteral("Maximum supported image dimension is 8192 pixels"));
        setSize(16, 8193);
        QVERIFY(plat::decodeJpeg(jpeg, &error).isNull());
        setSize(8193, 16);
        QVERIFY(plat::decodeJpeg(jpeg, &error).isNull());
    }

    // A progressive picture is decoded whole into the library's coefficient store before the
    // first row comes out; a header within the size limits can still ask for more memory
    // than that store may take, and is refused before anything is decoded.
    void hugeProgressiveIsRefused() {
        QByteArray jpeg = rig::encodeJpeg(quadrants(16, 16), {.quality = 90, .progressive = true, .fullChroma = true});
        const qsizetype sof = frameHeader(jpeg);
        QVERIFY(sof > 0);
        jpeg[sof + 5] = char(0x20);  // 8192 rows
        jpeg[sof + 6] = 0;
        jpeg[sof + 7] = char(0x20);  // 8192 columns
        jpeg[sof + 8] = 0;
        QString error;
        // CPU time of this thread, which load on the machine does not stretch as it does the
        // wall time; decoding the frame would take seconds of it.
        const rig::Cost cost = rig::measure([&] { QVERIFY(plat::decodeJpeg(jpeg, &error).isNull()); });
        QVERIFY(!error.isEmpty());
        QVERIFY2(cost.cpu < 2, qPrintable(QString("%1 s CPU").arg(cost.cpu)));
    }

    // A progressive file whose last scan repeats hundreds of times: each repeat costs a pass
    // over the whole picture, so such files are cut off.
    void endlessScansAreRefused() {
        const QByteArray jpeg = rig::encodeJpeg(quadrants(16, 16), {.quality = 90, .progressive = true});
        const qsizetype lastScan = jpeg.lastIndexOf(QByteArray("\xFF\xDA", 2));
        QVERIFY(lastScan > 0);
        const QByteArray scan = jpeg.mid(lastScan, jpeg.size() - 2 - lastScan);
        QByteArray bomb = jpeg.left(lastScan);
        for (int i = 0; i < 400; ++i) bomb += scan;
        bomb += QByteArray("\xFF\xD9", 2);
        QString error;
        QVERIFY(plat::decodeJpeg(bomb, &error).isNull());
        QCOMPARE(error, QStringLiteral("Too many scans in JPEG file"));
    }

    // Mangled pictures either decode at their declared size or fail with a message; the
    // sanitizer build turns any bad memory access here into a failure.
    void mangledPicturesNeverCrash() {
        QRandomGenerator rng(2024);
        for (bool progressive : {false, true}) {
            const QByteArray good = rig::encodeJpeg(quadrants(40, 24), {.quality = 90, .progressive = progressive});
            for (int round = 0; round < 300; ++round) {
                QByteArray bad = good;
                const int flips = 1 + int(rng.bounded(8));
                for (int i = 0; i < flips; ++i) bad[rng.bounded(int(bad.size()))] = char(rng.bounded(256));
                QString error;
                const QImage img = plat::decodeJpeg(bad, &error);
                QVERIFY(img.isNull() ? !error.isEmpty() : img.width() > 0 && img.height() > 0);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestJpeg)
#include "test_jpeg.moc"
