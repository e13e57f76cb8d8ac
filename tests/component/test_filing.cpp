// Filing: temp.dat cut into pictures in foto, the picture list, the event list and their
// files.
#include "acquisition_rig.h"
#include "acquisition/archive.h"

#include "platform/cp1251.h"
#include "ui_tform1.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QtTest>

#include <sys/stat.h>

using rig::Rig;

class TestFiling : public QObject {
    Q_OBJECT

    // The name the fake clock gives the second picture of the archive.
    static inline const QByteArray kNew = "foto\\140509_071226f1";

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
    // calls.csv: one line a call in Windows-1251 with CR LF, ";" between fields, a field with
    // ";" or a quote quoted, read back as written; a line cut off by a crash stays a broken
    // line of its own and the next call's line is whole. The unit's name is the last field;
    // lines written before it was kept read as well.
    void theJournalOfCalls() {
        const rig::WorkDir work;
        const journal::Call call{QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)),
                                 journal::Direction::Incoming,
                                 "+7900;1\"2",
                                 "GPRS \"IP\"",
                                 "не отвечен",
                                 0,
                                 {},
                                 {}};
        const QByteArray line = journal::formatLine(call);
        QCOMPARE(line,
                 plat::toCp1251(
                     "07.12.2026 14:05:09;входящий;\"\u00AD+7900;1\"\"2\";\"GPRS \"\"IP\"\"\";не отвечен;0;;\r\n"));
        QCOMPARE(journal::parseLine(line), call);
        // A withheld number stays an empty field; an older line, its number without the soft
        // hyphen and the English ring type in "Что", reads as it was written.
        journal::Call withheld = call;
        withheld.number.clear();
        QVERIFY(journal::formatLine(withheld).startsWith(plat::toCp1251("07.12.2026 14:05:09;входящий;;")));
        QCOMPARE(journal::parseLine(journal::formatLine(withheld)), withheld);
        const auto old =
            journal::parseLine(plat::toCp1251("07.12.2026 14:05:09;входящий;89001112233;VOICE;не отвечен;0;"));
        QVERIFY(old);
        QCOMPARE(old->number, QByteArray("89001112233"));
        QCOMPARE(old->what, QString("VOICE"));
        journal::Call withPictures = call;
        withPictures.number = "+79001112233";
        withPictures.what = "снимок";
        withPictures.outcome = "foto OK\r\nerr 3";  // a line break stays within the line
        withPictures.pictures = {"foto\\140509_071226f17", "foto\\140511_071226f18"};
        withPictures.bytes = 6944;
        withPictures.unit = "Склад; \"Южный\"";  // the name holds ";" and quotes
        QVERIFY(journal::formatLine(withPictures)
                    .endsWith(plat::toCp1251(
                        ";6944;foto\\140509_071226f17 foto\\140511_071226f18;\"Склад; \"\"Южный\"\"\"\r\n")));
        QCOMPARE(journal::formatLine(withPictures).count('\n'), 1);
        QCOMPARE(journal::parseLine(journal::formatLine(withPictures)).value_or(journal::Call{}).unit,
                 withPictures.unit);

        journal::Journal j;
        QVERIFY(j.append(call));
        const QByteArray whole = rig::readFile(journal::file);
        QVERIFY(whole.startsWith(plat::toCp1251("Начало;Направление;Номер;Что;Итог;Байт;Снимки;Объект\r\n")));
        rig::writeFile(journal::file, whole + line.left(25));  // a crash in the middle of the next append
        QVERIFY(j.append(withPictures));
        const QList<QByteArray> lines = acq::fileLines(journal::file);
        QCOMPARE(lines.size(), 4);
        QVERIFY(!journal::parseLine(lines[2]));
        QCOMPARE(acq::journalCalls().last().pictures, withPictures.pictures);

        // A line of the file as it was written before the unit's name was kept, its pictures last.
        rig::writeFile(journal::file,
                       rig::readFile(journal::file) +
                           plat::toCp1251("06.12.2026 10:00:00;исходящий;\u00AD89001112244;снимок;foto OK;512;"
                                          "foto\\100005_061226f3\r\n"));

        // Read again at a start: the index of every call, the call of a picture, and when the
        // unit was last heard.
        journal::Journal again;
        again.load();
        QCOMPARE(again.numbers(), QList<QByteArray>({"+7900;1\"2", "+79001112233", "89001112244"}));
        const auto& lines2 = again.entries();
        QCOMPARE(lines2.size(), std::size_t(3));
        QCOMPARE(lines2[1].number, 1);
        QCOMPARE(lines2[1].pictures, 2);
        QCOMPARE(lines2[1].startTime(), call.start);
        QVERIFY(lines2[1].heard && !lines2[0].heard && !lines2[1].later);
        QCOMPARE(lines2[2].direction, journal::Direction::Outgoing);
        QCOMPARE(again.lineOf("foto\\140509_071226f17"), 1);
        QCOMPARE(again.lineOf("foto\\140511_071226f18"), -1);  // not a line's first picture
        QCOMPARE(again.lineOf("foto\\100005_061226f3"), 2);
        QCOMPARE(again.read(1).value_or(journal::Call{}).unit, withPictures.unit);
        QCOMPARE(again.read(2).value_or(journal::Call{}).unit, QString());
        QCOMPARE(again.callOf("foto\\140511_071226f18").value_or(journal::Call{}).number, QByteArray("+79001112233"));
        QVERIFY(!again.callOf("foto\\140511_071226f19"));
        QVERIFY(!again.callOf("foto\\999999_071226f17"));  // the number, but another picture
        QCOMPARE(again.lastHeard(), std::optional(call.start));

        // A line for pictures stored after their call ended carries that call's older start:
        // the unit was last heard at the newest start, not in the last line.
        journal::Call older = withPictures;
        older.start = call.start.addDays(-1);
        older.pictures = {"foto\\140512_071226f19"};
        QVERIFY(again.append(journal::storedLater(older, older.pictures)));
        QCOMPARE(again.lastHeard(), std::optional(call.start));
        QVERIFY(again.entries().back().later);
        QCOMPARE(again.lineOf("foto\\140512_071226f19"), 3);
        journal::Journal third;
        third.load();
        QCOMPARE(third.lastHeard(), std::optional(call.start));
        QCOMPARE(third.callOf("foto\\140512_071226f19").value_or(journal::Call{}).start, older.start);
    }

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
        QCOMPARE(names.mid(2),
                 (QList<QByteArray>{"foto\\140509_071226f2", "foto\\140509_071226f3", "foto\\140509_071226f4"}));
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

    // A start after a power cut or a crash in a data phase, at each point of the phase and of
    // its filing: the phase's whole pictures end up in the archive exactly once, as an event
    // of their own, and the next start files nothing more. A picture file the crash left
    // unlisted is taken as it stands, none is written twice; a file of its number with other
    // bytes is not the picture's and is left alone. A phase filed normally (no mark) is not
    // filed again.
    void aPhaseCutOffIsFiledOnceAtTheNextStart_data() {
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<QList<QByteArray>>("events");
        QTest::addColumn<QByteArray>("written");  // the picture file in foto, if any
        QTest::addColumn<bool>("ours");           // it holds the picture
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<bool>("filedAtStart");
        const QList<QByteArray> oldFiles{"foto\\a"}, oldEvents{"1,foto\\a,"};
        const QList<QByteArray> newFiles = oldFiles + QList<QByteArray>{kNew};
        const QList<QByteArray> newEvents = oldEvents + QList<QByteArray>{"1," + kNew + ","};
        const QByteArray earlier = "foto\\235958_061226f1";  // written before midnight, the start is after
        QTest::newRow("in the data phase")
            << oldFiles << oldEvents << QByteArray() << false << QByteArray("1 1\r\n") << true;
        QTest::newRow("picture written, lists not")
            << oldFiles << oldEvents << earlier << true << QByteArray("1 1\r\n") << true;
        QTest::newRow("a file of its number, not the picture")
            << oldFiles << oldEvents << earlier << false << QByteArray("1 1\r\n") << true;
        QTest::newRow("picture list saved, event list not")
            << newFiles << oldEvents << kNew << true << QByteArray("1 1\r\n") << false;
        QTest::newRow("both lists saved, mark not removed")
            << newFiles << newEvents << kNew << true << QByteArray("1 1\r\n") << false;
        QTest::newRow("filed normally") << newFiles << newEvents << kNew << true << QByteArray() << false;
    }
    void aPhaseCutOffIsFiledOnceAtTheNextStart() {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QList<QByteArray>, events);
        QFETCH(QByteArray, written);
        QFETCH(bool, ours);
        QFETCH(QByteArray, mark);
        QFETCH(bool, filedAtStart);
        Rig r;
        QDir().mkdir("foto");
        rig::writeDefaultSettings();
        const QByteArray whole = acq::picture(1), cut = acq::picture(2), other = acq::picture(4);
        rig::writeFile("temp.dat", "UNIT\r\n" + whole + "\r\n" + cut.left(cut.size() / 2));
        rig::writeFile("files.txt", plat::StringList::format(files));
        rig::writeFile("events.txt", plat::StringList::format(events));
        rig::writeFile(nativePath("foto\\a.jpg"), acq::picture(3));
        if (!written.isEmpty()) rig::writeFile(nativePath(written + ".jpg"), ours ? whole : other);
        if (!mark.isEmpty()) rig::writeFile("temp.pending", mark);

        r.build();
        const bool stranger = !written.isEmpty() && !ours;
        const QByteArray name = written.isEmpty() || stranger ? kNew : written;
        const QList<QByteArray> wantFiles{"foto\\a", name};
        const QList<QByteArray> wantEvents{"1,foto\\a,", "1," + name + ","};
        QCOMPARE(r.form1->ListBox1.lines(), wantFiles);
        QCOMPARE(r.form1->ListBox2.lines(), wantEvents);
        QCOMPARE(acq::fileLines("files.txt"), wantFiles);
        QCOMPARE(acq::fileLines("events.txt"), wantEvents);
        QCOMPARE(acq::stored(name), whole);
        if (stranger) QCOMPARE(acq::stored(written), other);
        QVERIFY(!QFile::exists("temp.pending"));
        QCOMPARE(r.form1->nfiles, 2);
        QCOMPARE(r.form1->epos, 1);
        if (filedAtStart) QCOMPARE(r.form1->ui->Label3->text(), QString::fromLatin1(name + ".jpg"));
        QVERIFY(r.ui.errors.isEmpty() && r.ui.messages.isEmpty());

        r.program.reset();
        r.build();
        QCOMPARE(r.form1->ListBox1.lines(), wantFiles);
        QCOMPARE(acq::fileLines("files.txt"), wantFiles);
        QCOMPARE(acq::fileLines("events.txt"), wantEvents);
        QCOMPARE(QDir("foto").entryList(QDir::Files).size(), stranger ? 3 : 2);
    }

    // A filing of two pictures appends one line to events.txt after two to files.txt. Cut off
    // at every byte of those appends, the next start reads the entries that were complete,
    // takes no piece of one for an entry, and files the rest of the phase from temp.dat into
    // the same event, taking the picture files already written: the lists, and the files once
    // closed, end as an uncut filing leaves them, and foto holds each picture once.
    void aFilingCutOffAtEveryByteOfItsAppends() {
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        // Named a second before the start's clock, so that a picture written again differs.
        const QByteArray f1 = "foto\\140508_071226f1", f2 = "foto\\140508_071226f2";
        const QByteArray files = "foto\\a\r\n", events = "1,foto\\a,\r\n";
        const QByteArray filesAppend = f1 + "\r\n" + f2 + "\r\n", eventsAppend = "2," + f1 + "," + f2 + ",\r\n";
        const QList<QByteArray> wantFiles{"foto\\a", f1, f2}, wantEvents{"1,foto\\a,", "2," + f1 + "," + f2 + ","};
        for (qsizetype cut = 0; cut <= filesAppend.size() + eventsAppend.size(); ++cut) {
            const QString at = QStringLiteral("cut after %1 bytes").arg(cut);
            Rig r;
            QDir().mkdir("foto");
            rig::writeDefaultSettings();
            rig::writeFile("temp.dat", "UNIT\r\n" + a + "\r\n" + b + "\r\nNO CARRIER\r\n");
            rig::writeFile(nativePath(f1 + ".jpg"), a);
            rig::writeFile(nativePath(f2 + ".jpg"), b);
            rig::writeFile("files.txt", files + filesAppend.left(cut));
            rig::writeFile("events.txt", events + eventsAppend.left(std::max<qsizetype>(cut - filesAppend.size(), 0)));
            rig::writeFile("temp.pending", "1 1\r\n");
            r.build();
            QVERIFY2(r.form1->ListBox1.lines() == wantFiles, qPrintable(at));
            QVERIFY2(r.form1->ListBox2.lines() == wantEvents, qPrintable(at));
            r.form1->close();
            QVERIFY2(rig::readFile("files.txt") == files + filesAppend, qPrintable(at));
            QVERIFY2(rig::readFile("events.txt") == events + eventsAppend, qPrintable(at));
            QVERIFY2(acq::stored(f1) == a && acq::stored(f2) == b, qPrintable(at));
            QVERIFY2(QDir("foto").entryList(QDir::Files) == QStringList({"140508_071226f1.jpg", "140508_071226f2.jpg"}),
                     qPrintable(at));
            QVERIFY2(!QFile::exists("temp.pending") && r.ui.errors.isEmpty(), qPrintable(at));
        }
    }

    // Filing appends to the list files and closing writes nothing to a file that equals its
    // list; a file whose last line a crash cut off is mended at the first save.
    void theListFilesAreAppendedAndCloseWritesOnlyADifference() {
        Filing f;
        const auto inode = [](const char* name) {
            struct stat st {};
            return ::stat(name, &st) == 0 ? std::pair(st.st_ino, st.st_size) : std::pair(ino_t(0), off_t(-1));
        };
        QCOMPARE(f.file(acq::picture(1)), 1);  // the first filing makes both files
        const auto files = inode("files.txt"), events = inode("events.txt");
        QCOMPARE(f.file(acq::picture(2)), 1);
        QCOMPARE(inode("files.txt").first, files.first);  // appended to, not replaced
        QCOMPARE(inode("events.txt").first, events.first);
        QCOMPARE(rig::readFile("files.txt"), f.r.form1->ListBox1.content());
        QCOMPARE(rig::readFile("events.txt"), f.r.form1->ListBox2.content());
        const auto before = std::pair(inode("files.txt"), QFileInfo("files.txt").lastModified());
        f.r.form1->close();
        QCOMPARE(std::pair(inode("files.txt"), QFileInfo("files.txt").lastModified()), before);

        // A start after a crash that cut a line: closing leaves the file as the list reads it.
        rig::writeFile("files.txt", rig::readFile("files.txt") + "foto\\140509_0712");
        rig::writeFile("events.txt", rig::readFile("events.txt").chopped(1));  // its LF lost
        f.r.program.reset();
        f.r.build();
        QCOMPARE(f.r.form1->ListBox1.count(), 2);
        QCOMPARE(f.r.form1->ListBox2.count(), 2);
        f.r.form1->close();
        QCOMPARE(rig::readFile("files.txt"), f.r.form1->ListBox1.content());
        QCOMPARE(rig::readFile("events.txt"), f.r.form1->ListBox2.content());
        QCOMPARE(acq::fileLines("files.txt"), (QList<QByteArray>{"foto\\140509_071226f0", kNew}));

        // A whole last line without its CR LF (a file made or edited elsewhere) is an entry, and
        // the next save gives it its CR LF. A picture line whose picture is not in foto, one
        // that could be the start of the name filing gives its line, and an event line short
        // of its names can only be the start of an append that a crash cut off.
        const QByteArray pictureLines = rig::readFile("files.txt"), eventLines = rig::readFile("events.txt");
        rig::writeFile("files.txt", pictureLines.chopped(2));
        rig::writeFile("events.txt", eventLines.chopped(2));
        f.r.program.reset();
        f.r.build();
        QCOMPARE(f.r.form1->ListBox1.content(), pictureLines);
        QCOMPARE(f.r.form1->ListBox2.content(), eventLines);
        QCOMPARE(f.file(acq::picture(3)), 1);
        QCOMPARE(f.r.form1->ListBox1.count(), 3);
        QCOMPARE(rig::readFile("files.txt"), f.r.form1->ListBox1.content());
        QCOMPARE(rig::readFile("events.txt"), f.r.form1->ListBox2.content());
        QVERIFY(wholePictureLine(kNew, 1));
        QVERIFY(!wholePictureLine(kNew, 12));  // the start of ...f12
        QVERIFY(wholePictureLine(kNew, 21));
        const QByteArray filed = rig::readFile("files.txt"), evented = rig::readFile("events.txt");
        rig::writeFile("files.txt", filed + "foto\\140509_071226f3");  // never written to foto
        rig::writeFile("events.txt", evented + "2,foto\\140509_071226f3,");
        f.r.program.reset();
        f.r.build();
        QCOMPARE(f.r.form1->ListBox1.content(), filed);
        QCOMPARE(f.r.form1->ListBox2.content(), evented);
        f.r.form1->close();
        QCOMPARE(rig::readFile("files.txt"), filed);
        QCOMPARE(rig::readFile("events.txt"), evented);
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
