// Cutting pictures out of a received stream: the byte-pair rules for the markers, real
// pictures (progressive, with an EXIF thumbnail, of several sizes) kept whole, marker bytes
// inside header segments (before a thumbnail, in a comment, an ICC profile, a quantisation
// table) that mislead a byte-pair search, and streams that end or break in the middle of a
// picture.
#include "jpegmaker.h"
#include "rig.h"
#include "acquisition/jpegcut.h"

#include <QtEndian>
#include <QtTest>
#include <random>

namespace {

std::vector<JpegSlice> cut(const QByteArray& b) {
    return cutJpegs(reinterpret_cast<const unsigned char*>(b.constData()), std::size_t(b.size()));
}

QList<QByteArray> pieces(const QByteArray& b) {
    QList<QByteArray> out;
    for (const JpegSlice& s : cut(b)) out.append(b.mid(qsizetype(s.start), qsizetype(s.size())));
    return out;
}

QByteArray hex(const char* h) { return QByteArray::fromHex(h); }

// The picture with `gap` put just before its EXIF thumbnail. The APP1 length and the
// thumbnail's offset in the EXIF directory move with it, so the picture stays well-formed.
// Empty when the picture is not laid out that way.
QByteArray gapBeforeThumbnail(QByteArray j, const QByteArray& gap) {
    const qsizetype app1 = j.indexOf(hex("FFE1"));
    const qsizetype thumb = j.indexOf(hex("FFD8"), app1);
    if (app1 < 0 || thumb < 0 || j.mid(app1 + 4, 6) != QByteArray("Exif\0\0", 6)) return {};
    const qsizetype tiff = app1 + 10;
    const bool le = j.mid(tiff, 2) == "II";
    // The entry JPEGInterchangeFormat: tag 0201, type LONG, count 1, then the offset.
    const QByteArray entry = le ? hex("0102 0400 01000000") : hex("0201 0004 00000001");
    const qsizetype at = j.indexOf(entry, tiff) + entry.size();
    if (at < entry.size() || at + 4 > thumb) return {};
    const quint32 offset =
        le ? qFromLittleEndian<quint32>(j.constData() + at) : qFromBigEndian<quint32>(j.constData() + at);
    if (tiff + offset != thumb) return {};
    if (le) qToLittleEndian<quint32>(offset + quint32(gap.size()), j.data() + at);
    else qToBigEndian<quint32>(offset + quint32(gap.size()), j.data() + at);
    qToBigEndian<quint16>(quint16(qFromBigEndian<quint16>(j.constData() + app1 + 2) + gap.size()), j.data() + app1 + 2);
    return j.insert(thumb, gap);
}

// The picture with a segment put right after its start marker.
QByteArray withSegment(const QByteArray& jpeg, unsigned char code, const QByteArray& content) {
    const qsizetype len = content.size() + 2;
    const char head[] = {char(0xFF), char(code), char(len >> 8), char(len & 0xFF)};
    return jpeg.left(2) + QByteArray(head, 4) + content + jpeg.mid(2);
}

const QByteArray kBefore = "UNIT\r\n";
const QByteArray kAfter = "\r\n\r\nNO CARRIER\r\n";

}  // namespace

class TestJpegCut : public QObject {
    Q_OBJECT
private slots:
    // Streams that are no well-formed JPEG: the markers alone decide. An FF and the byte after
    // it make a pair, and FFs before a marker are fill.
    void bytePairRules_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("FF FF D8 starts at its second byte")
            << hex("00FFFFD8 0102 FFD9") << QList<QByteArray>{hex("FFD80102FFD9")};
        QTest::newRow("FF FF FF D8 starts at its third byte")
            << hex("00FFFFFFD8 0102 FFD9 33") << QList<QByteArray>{hex("FFD80102FFD9")};
        QTest::newRow("FF FF D9 inside ends it")
            << hex("FFD8 01 FFFFD9 02 FFD9") << QList<QByteArray>{hex("FFD801FFFFD9")};
        QTest::newRow("FF FF FF D9 inside ends it")
            << hex("FFD8 01 FFFFFFD9 02") << QList<QByteArray>{hex("FFD801FFFFFFD9")};
        QTest::newRow("the first end marker ends it")
            << hex("FFD8 01 FFD9 FFD9") << QList<QByteArray>{hex("FFD801FFD9")};
        QTest::newRow("fill between two pictures")
            << hex("FFD801FFD9 FF FFFFD802FFD9") << QList<QByteArray>{hex("FFD801FFD9"), hex("FFD802FFD9")};
        QTest::newRow("after a stray FF, after text and FF, fill before the end")
            << hex("FFFFD801FFD9 6A756E6BFFFFD802FFD9 FFD803FFFFFFD9")
            << QList<QByteArray>{hex("FFD801FFD9"), hex("FFD802FFD9"), hex("FFD803FFFFFFD9")};
        QTest::newRow("two, with text between")
            << hex("41FFD801FFD9 0D0A FFD802FFD9") << QList<QByteArray>{hex("FFD801FFD9"), hex("FFD802FFD9")};
        QTest::newRow("no end marker") << hex("FFD8 0102 03") << QList<QByteArray>{};
        QTest::newRow("a complete one, then an incomplete one")
            << hex("FFD801FFD9 FFD80203") << QList<QByteArray>{hex("FFD801FFD9")};
        QTest::newRow("lone FF at the end") << hex("0102FF") << QList<QByteArray>{};
        QTest::newRow("start marker at the very end") << hex("01FFD8") << QList<QByteArray>{};
        QTest::newRow("FF at the end after a start") << hex("FFD8 01 FF") << QList<QByteArray>{};
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
        // Segments that look right at first but run past the data: the byte-pair search decides.
        QTest::newRow("a length running past the data")
            << hex("FFD8 FFE1 7FFF 01 FFD9 02") << QList<QByteArray>{hex("FFD8FFE17FFF01FFD9")};
        QTest::newRow("a length below two") << hex("FFD8 FFE0 0001 FFD9") << QList<QByteArray>{hex("FFD8FFE00001FFD9")};
        QTest::newRow("a reserved marker code after the scan")
            << hex("FFD8 FFDA 0002 11 FF4A 0004 FFD9 22 FFD9") << QList<QByteArray>{hex("FFD8FFDA000211FF4A0004FFD9")};
        // Segments that hold together: what they hold does not end the picture, and the
        // byte-pair search takes over only where they stop holding.
        QTest::newRow("an end marker inside a comment segment")
            << hex("FFD8 FFFE 0004 FFD9 FFD9") << QList<QByteArray>{hex("FFD8FFFE0004FFD9FFD9")};
        QTest::newRow("an end marker inside a comment, then no marker where one is due")
            << hex("FFD8 FFFE 0004 FFD9 01 FFD9 FFD9") << QList<QByteArray>{hex("FFD8FFFE0004FFD901FFD9")};
        QTest::newRow("a fill byte before an end marker after the scan")
            << hex("FFD8 FFDA 0002 11 FFFFD9 22 FFD9") << QList<QByteArray>{hex("FFD8FFDA000211FFFFD9")};
    }
    void bytePairRules() {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(pieces(stream), expected);
    }

    // A start marker inside a segment before the scan: the picture carries another, and its
    // segments decide its end. FF D9 in the APP1 data before the thumbnail, or an FF just
    // before the thumbnail's start marker, mislead the byte-pair search.
    void embeddedPictures_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("expected");
        const QByteArray endFirst = hex("FFD8 FFE1 000C 11 FFD9 22 FFD8 33 FFD9 44 FFDA 0002 5566 FFD9");
        const QByteArray ffBefore = hex("FFD8 FFE1 000A 11 FFFFD8 33 FFD9 44 FFDA 0002 55 FFD9");
        QTest::newRow("an end marker before the thumbnail") << endFirst << QList<QByteArray>{endFirst};
        QTest::newRow("an FF just before the thumbnail") << ffBefore << QList<QByteArray>{ffBefore};
        QTest::newRow("lost its end in the scan, then the next picture")
            << hex("FFD8 FFE1 000C 11 FFD9 22 FFD8 33 FFD9 44 FFDA 0002 5566 FFD8 01 FFD9")
            << QList<QByteArray>{hex("FFD801FFD9")};
        const QByteArray noScan = hex("FFD8 FFE1 000C 11 FFD9 22 FFD8 33 FFD9 44 FFD9");
        QTest::newRow("an end marker where the scan is due") << noScan << QList<QByteArray>{noScan};
        // A length running past the data: the byte-pair search decides, and the thumbnail
        // comes out as a picture of its own.
        QTest::newRow("a length running past the data")
            << hex("FFD8 FFE1 7FFF 11 FFD9 22 FFD8 33 FFD9")
            << QList<QByteArray>{hex("FFD8FFE17FFF11FFD9"), hex("FFD833FFD9")};
    }
    void embeddedPictures() {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(pieces(stream), expected);
    }

    // Real pictures whose header segments hold marker bytes: the same misleading bytes before
    // their thumbnails, and FF D9, FF FF D9 or FF D8 in a comment, an ICC profile or a
    // quantisation table. Each is stored whole, and so is the picture after it.
    void markerBytesInSegments_data() {
        QTest::addColumn<QByteArray>("jpeg");
        QList<std::pair<QByteArray, QByteArray>> pictures{
            {"made", rig::makeJpegWithThumbnail({160, 128, 75, false, 11})},
            {"made progressive", rig::makeJpegWithThumbnail({320, 240, 75, true, 12})},
        };
        const QByteArray camera = rig::readFile(rig::sharedDir() + "/pictures/camera-exif-thumbnail-512x512.jpg");
        if (!camera.isEmpty()) pictures.append({"camera", camera});
        for (const auto& [name, jpeg] : pictures) {
            for (const auto& [what, gap] :
                 {std::pair{", FF D9 before", hex("FFD9")}, std::pair{", FF before", hex("FF")}}) {
                const QByteArray moved = gapBeforeThumbnail(jpeg, gap);
                QVERIFY2(!moved.isEmpty(), (name + " has no EXIF thumbnail where expected").constData());
                QTest::newRow((name + what).constData()) << moved;
            }
        }
        const QByteArray plain = rig::makeJpeg({160, 128, 75, false, 13});
        const QByteArray progressive = rig::makeJpeg({160, 128, 75, true, 14});
        for (const char* what : {"FF D9", "FF FF D9", "FF D8"}) {
            const QByteArray bytes = hex(what);
            QTest::newRow(QByteArray("a comment holding ").append(what).constData())
                << withSegment(plain, 0xFE, "cam 1 " + bytes + " night");
            QTest::newRow(QByteArray("an ICC profile holding ").append(what).constData())
                << withSegment(progressive, 0xE2,
                               QByteArray("ICC_PROFILE\0\1\1", 14) + hex("00000C48") + bytes + QByteArray(40, 'x'));
            QByteArray table(65, 0x10);  // table 0, 8-bit entries
            table[0] = 0;
            QTest::newRow(QByteArray("a quantisation table holding ").append(what).constData())
                << withSegment(progressive, 0xDB, table.replace(20, bytes.size(), bytes));
        }
    }
    void markerBytesInSegments() {
        QFETCH(QByteArray, jpeg);
        QCOMPARE(pieces(kBefore + jpeg + kAfter), QList<QByteArray>{jpeg});
        const QByteArray other = rig::makeJpeg({48, 32, 60, false, 9});
        QCOMPARE(pieces(other + jpeg + other), (QList<QByteArray>{other, jpeg, other}));
    }

    // Real pictures, between modem text, come out whole and byte for byte.
    void realPicturesAreKeptWhole_data() {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::newRow("160x128") << rig::makeJpeg({160, 128, 75, false, 1});
        QTest::newRow("320x240") << rig::makeJpeg({320, 240, 75, false, 2});
        QTest::newRow("640x480") << rig::makeJpeg({640, 480, 85, false, 3});
        QTest::newRow("progressive 320x240") << rig::makeJpeg({320, 240, 75, true, 4});
        QTest::newRow("EXIF thumbnail 160x128") << rig::makeJpegWithThumbnail({160, 128, 75, false, 5});
        QTest::newRow("EXIF thumbnail, progressive 640x480") << rig::makeJpegWithThumbnail({640, 480, 75, true, 6});
        const QString shared = rig::sharedDir();
        for (const char* f : {"camera-exif-thumbnail-512x512.jpg", "progressive-150x103.jpg", "baseline-150x103.jpg"}) {
            const QByteArray j = rig::readFile(shared + "/pictures/" + f);
            if (!j.isEmpty()) QTest::newRow(f) << j;
        }
    }
    void realPicturesAreKeptWhole() {
        QFETCH(QByteArray, jpeg);
        QCOMPARE(pieces(kBefore + jpeg + kAfter), QList<QByteArray>{jpeg});
        // Back to back with others, each still whole.
        const QByteArray other = rig::makeJpeg({48, 32, 60, false, 9});
        QCOMPARE(pieces(other + jpeg + "\n" + other), (QList<QByteArray>{other, jpeg, other}));
        // Fill bytes before its start marker and before its end marker change nothing but where
        // it begins; the fill before the end stays part of it.
        const QByteArray filled = jpeg.left(jpeg.size() - 2) + hex("FFFF") + hex("FFD9");
        QCOMPARE(pieces(hex("FF") + jpeg + "junk" + hex("FFFF") + filled + hex("FF") + other),
                 (QList<QByteArray>{jpeg, filled, other}));
        // A thumbnail's end marker comes first; the cut does not stop there.
        if (QByteArray(QTest::currentDataTag()).contains("thumbnail"))
            QVERIFY(jpeg.indexOf(hex("FFD9")) < jpeg.size() - 2);
    }

    void sharedPicturesArePresent() {
        REQUIRE_SHARED("the camera pictures were not tested");
        const QByteArray j = rig::readFile(rig::sharedDir() + "/pictures/camera-exif-thumbnail-512x512.jpg");
        QCOMPARE(j.size(), 70657);
        // Its thumbnail sits at 1042; the byte-pair search alone would cut there.
        QCOMPARE(j.mid(1042, 2), hex("FFD8"));
        QCOMPARE(cut(j).size(), std::size_t(1));
        QCOMPARE(cut(j)[0], (JpegSlice{0, std::size_t(j.size()) - 1}));
    }

    // A call dropped in the middle of a picture: the picture is not stored, not even as far
    // as its thumbnail; the pictures before it are. A picture that lost its end does not
    // swallow the next one.
    void aPictureCutShortIsLeftOut() {
        const QByteArray first = rig::makeJpeg({64, 48, 75, false, 1});
        const QByteArray thumbed = rig::makeJpegWithThumbnail({160, 128, 75, false, 2});
        const qsizetype scan = thumbed.lastIndexOf(hex("FFDA"));
        QVERIFY(scan > 0);
        for (qsizetype keep : {scan + 20, (scan + thumbed.size()) / 2, thumbed.size() - 1}) {
            const QByteArray stream = first + "\r\n" + thumbed.left(keep) + kAfter;
            QCOMPARE(pieces(stream), QList<QByteArray>{first});
            QCOMPARE(pieces(thumbed.left(keep) + first), QList<QByteArray>{first});
        }
    }

    // Every prefix of a stream and random noise: nothing read out of bounds (the sanitizers
    // watch), and every slice is a marked picture inside the data.
    void anyInputGivesSoundSlices() {
        const QByteArray full = kBefore + rig::makeJpegWithThumbnail({64, 48, 75, true, 3}) + kAfter;
        std::mt19937 rnd(7);
        QList<QByteArray> inputs;
        for (qsizetype n = 0; n <= full.size(); n += 1 + n / 64) inputs.append(full.left(n));
        for (int i = 0; i < 200; ++i) {
            QByteArray noise(int(rnd() % 600), '\0');
            for (auto& c : noise) {
                const unsigned v = rnd() % 8;
                c = char(v < 3 ? 0xFF : v == 3 ? 0xD8 : v == 4 ? 0xD9 : v == 5 ? 0xDA : int(rnd() % 256));
            }
            inputs.append(noise);
        }
        for (const QByteArray& in : inputs) {
            // A copy of exactly the input's size, so that a read past it is caught.
            std::vector<unsigned char> exact(in.begin(), in.end());
            std::size_t prevEnd = 0;
            bool first = true;
            for (const JpegSlice& s : cutJpegs(exact.data(), exact.size())) {
                QVERIFY(s.end < exact.size() && s.start + 3 <= s.end);
                QVERIFY(first || s.start > prevEnd);
                QCOMPARE(exact[s.start], 0xFF);
                QCOMPARE(exact[s.start + 1], 0xD8);
                QCOMPARE(exact[s.end - 1], 0xFF);
                QCOMPARE(exact[s.end], 0xD9);
                prevEnd = s.end;
                first = false;
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestJpegCut)
#include "test_jpegcut.moc"
