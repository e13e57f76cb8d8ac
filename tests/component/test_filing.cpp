// Filing: temp.dat cut into pictures in foto, the picture list, the event list and their
// files.
#include "acquisition_rig.h"

#include <QDir>
#include <QtTest>

using rig::Rig;

class TestFiling : public QObject {
    Q_OBJECT

    struct Filing {
        Rig r;
        Filing() {
            QDir().mkdir("foto");
            rig::writeDefaultSettings();
            r.build();
        }
        int file(const QByteArray& tempDat) {
            rig::writeFile("temp.dat", tempDat);
            return r.form1->convjpg();
        }
    };

private slots:
    void onePictureBetweenModemText() {
        Filing f;
        const QByteArray jpeg = acq::picture(1);
        QCOMPARE(f.file("UNIT\r\n" + jpeg + "\r\n\r\nNO CARRIER\r\n"), 1);
        // Named by the clock (14:05:09 on 7 December 2026) and its place in the list.
        const QByteArray name = "foto\\140509_071226f0";
        QCOMPARE(f.r.form1->ListBox1.lines(), QList<QByteArray>{name});
        QCOMPARE(f.r.form1->ListBox2.lines(), QList<QByteArray>{"1," + name + ","});
        QCOMPARE(f.r.form1->nfiles, 1);
        QCOMPARE(f.r.form1->fotofile, name + ".jpg");
        QCOMPARE(acq::stored(name), jpeg);
        QCOMPARE(QDir("foto").entryList(QDir::Files), QStringList{"140509_071226f0.jpg"});
        // The index is on disk at once, in the form it is read back.
        QCOMPARE(rig::readFile("files.txt"), name + "\r\n");
        QCOMPARE(rig::readFile("events.txt"), "1," + name + ",\r\n");
    }

    void threePicturesMakeOneEvent() {
        Filing f;
        f.r.form1->ListBox1 = {"foto\\a", "foto\\b"};
        f.r.form1->ListBox2 = {"2,foto\\a,foto\\b,"};
        f.r.form1->nfiles = 2;
        const QByteArray a = acq::picture(1), b = rig::makeJpegWithThumbnail({80, 60, 70, false, 2}),
                         c = rig::makeJpeg({80, 60, 70, true, 3});
        QCOMPARE(f.file(a + "\r\n" + b + c + "tail"), 3);
        const auto& names = f.r.form1->ListBox1.lines();
        QCOMPARE(names.mid(2), (QList<QByteArray>{"foto\\140509_071226f2", "foto\\140509_071226f3", "foto\\140509_071226f4"}));
        QCOMPARE(acq::stored(names[2]), a);
        QCOMPARE(acq::stored(names[3]), b);
        QCOMPARE(acq::stored(names[4]), c);
        QCOMPARE(f.r.form1->ListBox2.lines().last(), "3," + names[2] + "," + names[3] + "," + names[4] + ",");
        QCOMPARE(acq::fileLines("files.txt"), names);
        QCOMPARE(acq::fileLines("events.txt"), f.r.form1->ListBox2.lines());
    }

    void nothingCompleteFilesNothing() {
        Filing f;
        QCOMPARE(f.r.form1->convjpg(), 0);  // no temp.dat at all
        const QByteArray jpeg = acq::picture(1);
        QCOMPARE(f.file("no picture here\r\n"), 0);
        QCOMPARE(f.file(jpeg.left(jpeg.size() - 1)), 0);
        QCOMPARE(f.r.form1->ListBox1.count() + f.r.form1->ListBox2.count() + f.r.form1->nfiles, 0);
        QVERIFY(!QFile::exists("files.txt"));
        QVERIFY(!QFile::exists("events.txt"));
    }

    void twoFilingsInOneSecondGetDifferentNames() {
        Filing f;
        const QByteArray jpeg = acq::picture(1);
        QCOMPARE(f.file(jpeg), 1);
        QCOMPARE(f.file(jpeg), 1);
        QCOMPARE(f.r.form1->ListBox1.lines(), (QList<QByteArray>{"foto\\140509_071226f0", "foto\\140509_071226f1"}));
        QCOMPARE(f.r.form1->ListBox2.count(), 2);
    }

    void aPictureThatCannotBeCreatedTakesNoNumber() {
        Filing f;
        // Something in the way of the first picture's file.
        QVERIFY(QDir().mkpath("foto/140509_071226f0.jpg"));
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        QCOMPARE(f.file(a + b), 0);
        QCOMPARE(f.r.ui.messages.size(), 1);
        QCOMPARE(f.r.ui.messages[0].text, QString("Can't create file"));
        QCOMPARE(f.r.form1->nfiles, 0);
        QVERIFY(f.r.form1->ListBox1.isEmpty() && f.r.form1->ListBox2.isEmpty());
        // Filing stops at the failure; the bytes are still in temp.dat for the next try.
        QCOMPARE(rig::readFile("temp.dat"), a + b);
        QVERIFY(QDir().rmdir("foto/140509_071226f0.jpg"));
        QCOMPARE(f.r.form1->convjpg(), 2);
        QCOMPARE(f.r.form1->ListBox1.lines().first(), QByteArray("foto\\140509_071226f0"));
        QCOMPARE(acq::stored("foto\\140509_071226f0"), a);

        // A failure after stored pictures keeps them and their event.
        QVERIFY(QDir().mkpath("foto/140509_071226f3.jpg"));
        QCOMPARE(f.file(a + b), 1);
        QCOMPARE(f.r.form1->ListBox2.lines().last(), QByteArray("1,foto\\140509_071226f2,"));
        QCOMPARE(f.r.ui.messages.size(), 2);
    }

    void aMissingFotoFolderIsCreated() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        QVERIFY(!QDir("foto").exists());
        rig::writeFile("temp.dat", acq::picture(4));
        QCOMPARE(r.form1->convjpg(), 1);
        QCOMPARE(acq::stored(r.form1->ListBox1.at(0)), acq::picture(4));
        QVERIFY(r.ui.messages.isEmpty());
    }

    void aLongTempDatIsReadUpToTheBufferSize() {
        Filing f;
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        QByteArray big = a;
        big += QByteArray(TForm1::kFotobufSize - big.size() - 10, 'x');
        big += b;  // starts inside the buffer's reach, ends beyond it
        big += QByteArray(20000, 'y') + b;
        QCOMPARE(f.file(big), 1);
        QCOMPARE(acq::stored(f.r.form1->ListBox1.at(0)), a);
    }

    void anIndexThatCannotBeWrittenIsReportedAndFilingGoesOn() {
        Filing f;
        QVERIFY(QDir().mkdir("files.txt"));  // in the way of the list file
        QCOMPARE(f.file(acq::picture(1)), 1);
        QCOMPARE(f.r.ui.errors.size(), 1);
        QVERIFY(f.r.ui.errors[0].startsWith("Cannot create file"));
        QCOMPARE(f.r.form1->ListBox1.count(), 1);
    }
};

QTEST_MAIN(TestFiling)
#include "test_filing.moc"
