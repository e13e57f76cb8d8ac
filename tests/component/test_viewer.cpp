// The archive viewer on real files in a temporary working folder: start-up, paging by picture
// and by event and by key, the placeholder, broken event lines, pictures that cannot be shown,
// finding a day in "Архив", one unit's pictures there, and taking pictures out.
#include "jpegmaker.h"
#include "rig.h"
#include "acquisition/archive.h"
#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/picturepane.h"
#include "platform/stringlist.h"
#include "viewer/tform5.h"
#include "viewer/wholepicture.h"
#include "ui_tform1.h"
#include "ui_tform5.h"

#include <QDir>
#include <QPainter>
#include <QtTest>

using rig::Rig;

namespace {

QByteArray name(int i) { return "foto\\140509_071226f" + QByteArray::number(i); }
QString file(int i) { return nativePath(name(i) + ".jpg"); }

// Picture i is (40 + i) pixels wide, vid.jpg 24, so a pane tells which one it shows.
void writePicture(int i) { rig::writeFile(file(i), rig::makeJpeg({40 + i, 30, 75, false, unsigned(i + 1)})); }

// An archive of n pictures with the given event lines (no events.txt when there are none).
void writeArchive(int n, const QList<QByteArray>& events = {}) {
    QDir().mkdir("foto");
    QList<QByteArray> names;
    for (int i = 0; i < n; ++i) {
        writePicture(i);
        names << name(i);
    }
    rig::writeFile("files.txt", plat::StringList::format(names));
    if (!events.isEmpty()) rig::writeFile("events.txt", plat::StringList::format(events));
    rig::writeFile("vid.jpg", rig::makeJpeg({24, 24}));
}

QByteArray eventLine(std::initializer_list<int> pictures) {
    QByteArray line = QByteArray::number(int(pictures.size())) + ",";
    for (int i : pictures) line += name(i) + ",";
    return line;
}

struct Place {
    PicturePane* pane;
    QLabel* caption;
};
std::array<Place, 4> places(TForm1* f) {
    return {{{f->ui->Image1, f->ui->Label2},
             {f->ui->Image2, f->ui->Label3},
             {f->ui->Image3, f->ui->Label4},
             {f->ui->Image4, f->ui->Label5}}};
}

// What each pane shows: the picture's index (caption and picture agree), "vid" (placeholder,
// empty caption), "layout" (the window's own picture), "kept" (what stamp() put there), or
// "mark " and the caption for the "no picture" mark.
QStringList shown(TForm1* f) {
    QStringList out;
    for (const auto& [pane, caption] : places(f)) {
        const int w = pane->picture().width();
        const QString c = caption->text();
        if (pane->fault() != PicturePane::Fault::None) out << (w == 0 ? "mark " + c : "mark over a picture");
        else if (w == 7 && c == "kept") out << "kept";
        else if (w == 24 && c.isEmpty()) out << "vid";
        else if (w == 32 && !c.endsWith(".jpg")) out << "layout";
        else if (w >= 40 && c == QString::fromLatin1(name(w - 40) + ".jpg")) out << QString::number(w - 40);
        else out << QString("? %1 %2").arg(w).arg(c);
    }
    return out;
}

// A double click where the operator would make it: on the widget on top at that point of
// the window, which for every pane is Image1.
void doubleClick(TForm1* f, QPoint at) {
    QWidget* target = f->childAt(at);
    QVERIFY(target == f->ui->Image1);
    QTest::mouseDClick(target, Qt::LeftButton, {}, target->mapFrom(f, at));
}

// What shown() gives for the mark of picture i, missing or there but unreadable.
QString missing(int i) { return "mark " + QString::fromLatin1(name(i)) + ".jpg — нет файла"; }
QString unreadable(int i) { return "mark " + QString::fromLatin1(name(i)) + ".jpg — не читается"; }

QList<WholePicture*> wholes(TForm1* f) { return f->findChildren<WholePicture*>(); }

void stamp(TForm1* f) {
    QImage marker(7, 7, QImage::Format_RGB32);
    marker.fill(Qt::red);
    for (const auto& [pane, caption] : places(f)) {
        pane->setPicture(marker);
        caption->setText("kept");
    }
}

}  // namespace

namespace {

// Pictures 0 and 1 on 1 December 2026, 2 to 7 on the 7th; events {0, 1}, {2, 3}, {4, 5, 6, 7}.
QByteArray dated(int i) { return i < 2 ? "foto\\090000_011226f" + QByteArray::number(i) : name(i); }
void writeDays() {
    writeArchive(8, {"2," + dated(0) + "," + dated(1) + ",", eventLine({2, 3}), eventLine({4, 5, 6, 7})});
    for (int i = 0; i < 2; ++i) {
        QFile::rename(file(i), nativePath(dated(i) + ".jpg"));
    }
    QList<QByteArray> names;
    for (int i = 0; i < 8; ++i) names << dated(i);
    rig::writeFile("files.txt", plat::StringList::format(names));
    rig::writeDefaultSettings();
}

// The captions of the pictures "Архив" shows side by side.
QStringList strip(TForm5* w) {
    QStringList out;
    for (const PicturePane* pane : w->ui->Pictures->findChildren<PicturePane*>()) out << pane->name();
    return out;
}

void typeDate(TForm5* w, const QString& text) {
    w->ui->Edit1->clear();
    QTest::keyClicks(w->ui->Edit1, text);
    QTest::keyClick(w->ui->Edit1, Qt::Key_Return);
}

QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

bool marked(TForm5* w, QDate d) { return w->ui->Calendar1->dateTextFormat(d).fontWeight() == QFont::Bold; }

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

void writeUnits(const QString& lines) {
    rig::writeFile("units.csv", plat::toCp1251("Номер;Название;Комментарий;Интервал, ч;Проверка звонком\r\n" + lines));
}

}  // namespace

class TestViewer : public QObject {
    Q_OBJECT
private slots:
    void startsOnTheNewestPageAndPagesBackToEntryZero() {
        Rig r;
        writeArchive(6, {eventLine({0, 1}), eventLine({2, 3, 4, 5})});
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "4", "5"}));
        QCOMPARE(r.form1->fpos, 6);
        QCOMPARE(r.form1->nfiles, 6);
        QCOMPARE(r.form1->epos, 1);
        r.form1->ui->Button5->click();
        r.form1->ui->Button5->click();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "2", "3"}));
        stamp(r.form1);
        r.form1->ui->Button5->click();  // at the oldest page: the same page again
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "2", "3"}));
        QCOMPARE(r.form1->fpos, 4);
        QVERIFY(r.ui.errors.isEmpty());
    }

    void fewerThanFourEntriesLeaveTheLastPanesAlone() {
        Rig r;
        writeArchive(2);
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "layout", "layout"}));
        stamp(r.form1);
        r.form1->ui->Button5->click();
        r.form1->ui->Button6->click();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "kept", "kept"}));
        QCOMPARE(r.form1->fpos, 2);
        stamp(r.form1);
        r.form1->updimage(0);
        r.form1->updimage(-3);
        QCOMPARE(shown(r.form1), QStringList({"kept", "kept", "kept", "kept"}));
    }

    void aTransferShowsTheNewestWithoutMovingThePosition() {
        Rig r;
        writeArchive(6);
        rig::writeDefaultSettings();
        r.build();
        // What a reception does after filing two pictures.
        for (int i : {6, 7}) {
            writePicture(i);
            r.form1->ListBox1.append(name(i));
        }
        r.form1->nfiles = 8;
        r.form1->updimage(r.form1->nfiles);
        QCOMPARE(shown(r.form1), QStringList({"4", "5", "6", "7"}));
        QCOMPARE(r.form1->fpos, 6);
        r.form1->ui->Button6->click();
        QCOMPARE(r.form1->fpos, 7);
        QCOMPARE(shown(r.form1), QStringList({"3", "4", "5", "6"}));
        r.form1->ui->Button6->click();
        r.form1->ui->Button6->click();  // stops at the newest page
        QCOMPARE(r.form1->fpos, 8);
        QCOMPARE(shown(r.form1), QStringList({"4", "5", "6", "7"}));
    }

    // The caption names the events of the pictures on the screen after every way of paging
    // and after an arrival; "Архив" opens on the event shown.
    void theCaptionNamesWhatThePanesShow() {
        Rig r;
        writeArchive(8, {eventLine({0, 1}), eventLine({2, 3, 4, 5}), eventLine({6, 7})});
        rig::writeDefaultSettings();
        r.build();
        QLabel* caption = r.form1->ui->Label1;
        QCOMPARE(shown(r.form1), QStringList({"4", "5", "6", "7"}));
        QCOMPARE(caption->text(), QString("События 1–2"));
        QTest::keyClick(r.form1, Qt::Key_Home);
        QCOMPARE(caption->text(), QString("Событие 0"));
        r.program->form5.open();
        QCOMPARE(r.program->form5.chosen(), 0);
        r.program->form5.close();
        QTest::keyClick(r.form1, Qt::Key_Right);  // pictures 1 to 4
        QCOMPARE(caption->text(), QString("События 0–1"));
        QTest::keyClick(r.form1, Qt::Key_PageDown);
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "4", "5"}));
        QCOMPARE(caption->text(), QString("Событие 1"));
        QTest::keyClick(r.form1, Qt::Key_Left);  // pictures 0 to 3
        QCOMPARE(caption->text(), QString("События 0–1"));
        QTest::keyClick(r.form1, Qt::Key_End);
        QCOMPARE(caption->text(), QString("Событие 2"));

        // An arrival shows the newest page, and the caption follows it.
        rig::writeFile("temp.dat", "CONNECT 9600\r\n" + rig::makeJpeg({40 + 8, 30}) + "\r\nNO CARRIER\r\n");
        QCOMPARE(r.form1->convjpg(), 1);
        r.form1->updimage(r.form1->nfiles);  // as a reception does after its filing
        QCOMPARE(r.form1->ListBox2.count(), 4);
        QCOMPARE(caption->text(), QString("События 1–3"));  // pictures 5 to 8
        r.program->form5.open();
        QCOMPARE(r.program->form5.chosen(), 1);
        // A page of pictures that no event names says nothing of events.
        r.form1->ListBox2.clear();
        r.form1->updimage(r.form1->nfiles);
        QCOMPARE(caption->text(), QString(" "));
        QVERIFY(r.ui.errors.isEmpty());
    }

    // Each picture shows whole in its own place: one larger than the place is shrunk to fit
    // it, proportions kept, one that fits keeps its size, and none reaches over another place
    // or a caption, Image1's included though its pane spans the grid.
    void everyPictureFitsItsPlace() {
        Rig r;
        writeArchive(4);
        const QColor colours[] = {Qt::red, Qt::blue, Qt::green, Qt::magenta};
        const QSize sizes[] = {{640, 480}, {160, 128}, {320, 240}, {640, 480}};
        for (int i = 0; i < 4; ++i) {
            QImage picture(sizes[i], QImage::Format_RGB32);
            picture.fill(colours[i]);
            rig::writeFile(file(i), rig::encodeJpeg(picture));
        }
        rig::writeDefaultSettings();
        r.build();
        r.form1->show();
        const QImage shot = r.form1->grab().toImage();
        const auto panes = places(r.form1);
        const QSize drawn[] = {{182, 137}, {160, 128}, {182, 137}, {177, 132}};
        for (int i = 0; i < 4; ++i) {
            PicturePane* pane = panes[size_t(i)].pane;
            QCOMPARE(pane->picture().size(), sizes[i]);  // the picture itself is kept whole
            const QRect place(pane->mapTo(r.form1, QPoint(0, 0)), drawn[i]);
            const auto near = [&](QPoint at) {
                const QColor c = shot.pixelColor(at);
                return qAbs(c.red() - colours[i].red()) < 60 && qAbs(c.green() - colours[i].green()) < 60 &&
                       qAbs(c.blue() - colours[i].blue()) < 60;
            };
            QVERIFY2(near(place.center()) && near(place.topLeft() + QPoint(2, 2)) &&
                         near(place.bottomRight() - QPoint(2, 2)),
                     qPrintable(QString("picture %1 is not drawn over its place").arg(i)));
            // Everywhere over the grid, its captions and the event caption below it.
            const QRect grid = r.form1->ui->Image1->geometry() | r.form1->ui->Label1->geometry();
            for (int y = grid.top(); y <= grid.bottom(); ++y)
                for (int x = grid.left(); x <= grid.right(); ++x)
                    if (!place.adjusted(-1, -1, 1, 1).contains(x, y) && near(QPoint(x, y)))
                        QFAIL(qPrintable(QString("picture %1 drawn at %2,%3").arg(i).arg(x).arg(y)));
        }
    }

    void pagingByEventStopsAtBothEndsAndFillsEmptyPanes() {
        Rig r;
        writeArchive(8, {eventLine({0, 1}), eventLine({2, 3, 4, 5, 6, 7}), eventLine({6, 7, 0})});
        rig::writeDefaultSettings();
        r.build();
        const QString design = r.form1->ui->Label1->text();
        QCOMPARE(shown(r.form1), QStringList({"4", "5", "6", "7"}));  // no event at start-up
        QCOMPARE(r.form1->epos, 2);
        stamp(r.form1);
        r.form1->ui->Button8->click();  // already the newest: redrawn in place
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 2"));
        QVERIFY(design != r.form1->ui->Label1->text());
        QCOMPARE(shown(r.form1), QStringList({"6", "7", "0", "vid"}));
        r.form1->ui->Button7->click();  // six pictures: the first four
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "4", "5"}));
        r.form1->ui->Button7->click();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "vid", "vid"}));
        QVERIFY(r.form1->ui->Label4->text().isEmpty() && r.form1->ui->Label5->text().isEmpty());
        stamp(r.form1);
        r.form1->ui->Button7->click();  // the oldest: redrawn in place
        QCOMPARE(r.form1->epos, 0);
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 0"));
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "vid", "vid"}));
        // Without vid.jpg the empty panes say so under their marks.
        QFile::remove("vid.jpg");
        r.form1->ui->Button7->click();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "mark vid.jpg — нет файла", "mark vid.jpg — нет файла"}));
        QVERIFY(r.ui.errors.isEmpty());
    }

    // Image1 covers the grid: a double click opens the picture drawn at the point, Image1's
    // where it reaches, else the one of the pane below; never the placeholder or nothing.
    void aDoubleClickOpensThePictureDrawnThereWhole() {
        Rig r;
        writeArchive(4, {eventLine({0})});
        // Picture 1, in Image2 (177 x 137), is red where the pane shows it and blue beyond.
        QImage big(400, 300, QImage::Format_RGB32);
        big.fill(Qt::blue);
        QPainter(&big).fillRect(0, 0, 177, 137, Qt::red);
        rig::writeFile(file(1), rig::encodeJpeg(big));
        rig::writeDefaultSettings();
        r.build();
        const QPoint image2(346, 47);  // beyond picture 0 (40 x 30 at 8,37)
        doubleClick(r.form1, image2);
        QCOMPARE(wholes(r.form1).size(), 1);
        WholePicture* whole = wholes(r.form1)[0];
        QVERIFY(whole->isWindow() && whole->isVisible() && !whole->isModal());
        QCOMPARE(whole->windowTitle(), QString::fromLatin1(name(1) + ".jpg"));
        QCOMPARE(whole->viewport()->size(), QSize(400, 300));
        const QRgb beyond = whole->viewport()->grab().toImage().pixel(300, 250);
        QVERIFY2(qBlue(beyond) > 200 && qRed(beyond) < 60, qPrintable(QString::number(beyond, 16)));

        doubleClick(r.form1, QPoint(20, 50));  // on picture 0: a second window
        QCOMPARE(wholes(r.form1).size(), 2);
        QTest::keyClick(whole, Qt::Key_Escape);
        QTRY_COMPARE(wholes(r.form1).size(), 1);
        QCOMPARE(wholes(r.form1)[0]->windowTitle(), QString::fromLatin1(name(0) + ".jpg"));

        // Ctrl+S saves the file as it stands, under its time in the folder last used.
        const QString out = r.work.file("out");
        QDir().mkdir(out);
        r.form1->exportFolder = out;
        r.ui.answers << out + "/picture.jpg";
        QTest::keyClick(wholes(r.form1)[0], Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(r.ui.dialogs, QStringList({out + "/2026-12-07 14-05-09.jpg"}));
        QCOMPARE(rig::readFile(out + "/picture.jpg"), rig::readFile(file(0)));
        wholes(r.form1)[0]->saveButton()->click();  // cancelled: nothing written
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList({"picture.jpg"}));

        r.form1->ui->Button7->click();  // the event of picture 0: placeholders beside it
        doubleClick(r.form1, image2);
        doubleClick(r.form1, QPoint(600, 450));  // nothing drawn here
        QCOMPARE(wholes(r.form1).size(), 1);
        QVERIFY(r.ui.errors.isEmpty());

        // A picture that can no longer be read turns into its mark, with no box and no window;
        // a double click on the mark (Image1's, over the others) does nothing either.
        rig::writeFile(file(0), "not a picture");
        doubleClick(r.form1, QPoint(20, 50));
        QCOMPARE(shown(r.form1), QStringList({unreadable(0), "vid", "vid", "vid"}));
        QFile::remove(file(0));
        doubleClick(r.form1, QPoint(20, 50));
        doubleClick(r.form1, QPoint(150, 140));
        QCOMPARE(shown(r.form1)[0], unreadable(0));
        QVERIFY(r.ui.errors.isEmpty());
        QCOMPARE(wholes(r.form1).size(), 1);

        Rig none;  // an empty archive: the window's own placeholders
        rig::writeDefaultSettings();
        none.build();
        doubleClick(none.form1, QPoint(10, 40));
        QVERIFY(wholes(none.form1).isEmpty());
    }

    void brokenEventLines() {
        Rig r;
        const QByteArray damaged = QByteArray(800, 'z');
        writeArchive(2, {"3," + name(0) + "," + name(1) + ",", "-2," + name(0) + ",", "zwei," + name(1) + ",",
                         "2," + damaged + "," + name(1) + ","});
        rig::writeDefaultSettings();
        r.build();
        const QList<QRect> layout = {r.form1->ui->Label2->geometry(), r.form1->ui->Label3->geometry()};
        // A name hundreds of characters long: its caption is cut in the middle to the width of
        // its label, which stays where the layout puts it; the tool tip has the whole text.
        r.form1->ui->Button8->click();
        QCOMPARE(shown(r.form1).mid(1), QStringList({"1", "vid", "vid"}));
        QLabel* cut = r.form1->ui->Label2;
        QCOMPARE(cut->toolTip(), QString::fromLatin1(damaged) + ".jpg — нет файла");
        QVERIFY2(cut->text().startsWith("zzz") && cut->text().endsWith(".jpg — нет файла") &&
                     cut->text().contains(u'…'),
                 qPrintable(cut->text()));
        QVERIFY(cut->fontMetrics().horizontalAdvance(cut->text()) <= cut->width());
        QCOMPARE(QList<QRect>({cut->geometry(), r.form1->ui->Label3->geometry()}), layout);
        QCOMPARE(r.form1->ui->Label3->toolTip(), r.form1->ui->Label3->text());  // a name that fits is whole
        stamp(r.form1);
        r.form1->ui->Button7->click();  // a count that is not a number: all placeholders
        QCOMPARE(shown(r.form1), QStringList({"vid", "vid", "vid", "vid"}));
        stamp(r.form1);
        r.form1->ui->Button7->click();  // a negative count changes nothing
        QCOMPARE(shown(r.form1), QStringList({"kept", "kept", "kept", "kept"}));
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 1"));
        // Fewer names than the count: the third pane shows the mark of the file ".jpg", and
        // the display goes on to the last pane.
        r.form1->ui->Button7->click();
        QCOMPARE(shown(r.form1), QStringList({"0", "1", "mark .jpg — нет файла", "vid"}));
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 0"));
        QVERIFY(r.ui.errors.isEmpty());
    }

    void anEmptyEventListLeavesThePanesButNotTheCaption() {
        Rig r;
        writeArchive(4);
        rig::writeFile("events.txt", "");
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(r.form1->epos, -1);
        stamp(r.form1);
        r.form1->ui->Button7->click();
        r.form1->ui->Button8->click();
        QCOMPARE(shown(r.form1), QStringList({"kept", "kept", "kept", "kept"}));
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие -1"));
        Rig none;  // no events.txt at all
        writeArchive(4);
        rig::writeDefaultSettings();
        none.build();
        none.form1->ui->Button8->click();
        QCOMPARE(none.form1->ui->Label1->text(), QString("Событие 0"));
        QVERIFY(r.ui.errors.isEmpty() && none.ui.errors.isEmpty());
    }

    // The index is found where it is read and written, in the working folder (not the
    // program's folder), and the event list is read even without a picture list, so closing
    // writes back what was stored.
    void theIndexRoundTripsThroughTheWorkingFolder() {
        Rig r;
        QVERIFY(QDir::currentPath() != QCoreApplication::applicationDirPath());
        const QList<QByteArray> events = {eventLine({0, 1}), eventLine({2})};
        writeArchive(3, events);
        const QByteArray files = rig::readFile("files.txt");
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(r.form1->nfiles, 3);
        r.form1->close();
        QCOMPARE(rig::readFile("files.txt"), files);
        QCOMPARE(rig::readFile("events.txt"), plat::StringList::format(events));

        Rig e;
        rig::writeFile("events.txt", plat::StringList::format(events));
        rig::writeDefaultSettings();
        e.build();
        QCOMPARE(e.form1->nfiles, 0);
        QCOMPARE(e.form1->ListBox2.count(), 2);
        QCOMPARE(e.form1->epos, 1);
        e.form1->ListBox2.append(eventLine({5}));  // what one run adds
        e.form1->close();
        QCOMPARE(rig::readFile("events.txt"), plat::StringList::format(events + QList<QByteArray>{eventLine({5})}));
    }

    void archiveFindsADayAndShowsItsEventsWhereThePagingGoesOn() {
        Rig r;
        writeDays();
        r.build();
        TForm5* w = r.program->form5.ui ? &r.program->form5 : nullptr;
        QVERIFY(w && !w->isVisible());
        r.form1->ui->ToolButton11->click();
        QVERIFY(w->isVisible() && w->isWindow() && !w->isModal());
        QCOMPARE(w->windowTitle(), QString("Архив"));
        // On the event the main window shows (the newest page is event 2), the focus in the date.
        QCOMPARE(w->focusWidget(), w->ui->Edit1);
        QCOMPARE(w->ui->Edit1->text(), QString("07.12.2026"));
        QCOMPARE(w->rows(), std::vector<int>({1, 2}));
        QCOMPARE(w->chosen(), 2);
        QCOMPARE(strip(w).size(), 4);
        QCOMPARE(strip(w)[0], QString(name(4)) + ".jpg");
        QCOMPARE(w->ui->ListView1->topLevelItem(1)->text(0), QString("14:05:09"));
        QCOMPARE(w->ui->ListView1->topLevelItem(1)->text(1), QString("4"));
        const auto marked = [w](QDate d) { return w->ui->Calendar1->dateTextFormat(d).fontWeight() == QFont::Bold; };
        QVERIFY(marked(QDate(2026, 12, 1)) && marked(QDate(2026, 12, 7)) && !marked(QDate(2026, 12, 3)));

        typeDate(w, "03.12.2026");  // no pictures: the nearest day that has some
        QCOMPARE(w->ui->Calendar1->selectedDate(), QDate(2026, 12, 1));
        QCOMPARE(w->rows(), std::vector<int>({0}));
        QVERIFY2(w->ui->Label1->text().contains("ближайший день со снимками: 01.12.2026"),
                 qPrintable(w->ui->Label1->text()));
        typeDate(w, "31.02.2026");
        QVERIFY(w->ui->Label1->text().startsWith("Дата вводится как дд.мм.гггг"));
        QCOMPARE(w->rows(), std::vector<int>({0}));
        typeDate(w, "7.12.2026");
        QCOMPARE(w->rows(), std::vector<int>({1, 2}));

        // Enter on the second event shows it in the panes as ">>" would; ">" goes on from there.
        QTest::keyClick(w->ui->ListView1, Qt::Key_Up);
        QCOMPARE(strip(w), QStringList({QString(name(2)) + ".jpg", QString(name(3)) + ".jpg"}));
        QTest::keyClick(w->ui->ListView1, Qt::Key_Down);
        QCOMPARE(w->chosen(), 2);
        QTest::keyClick(w->ui->ListView1, Qt::Key_Return);
        QCOMPARE(r.form1->epos, 2);
        QCOMPARE(shown(r.form1), QStringList({"4", "5", "6", "7"}));
        QVERIFY(r.form1->ui->Label1->text().startsWith("Событие 2"));
        QCOMPARE(r.form1->fpos, 8);
        // A double click on the first: "<<" and ">>", "<" and ">" go on from it.
        const QTreeWidgetItem* first = w->ui->ListView1->topLevelItem(0);
        // As a mouse gives it: a click, then the second press that makes it a double click.
        const QPoint at = w->ui->ListView1->visualItemRect(first).center();
        QTest::mouseClick(w->ui->ListView1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w->ui->ListView1->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(r.form1->epos, 1);
        QCOMPARE(r.form1->fpos, 6);
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "vid", "vid"}));
        r.form1->ui->Button6->click();
        QCOMPARE(shown(r.form1), QStringList({"3", "4", "5", "6"}));
        r.form1->ui->Button7->click();
        QCOMPARE(r.form1->epos, 0);

        // The main window's keys, wherever its focus is.
        QTest::keyClick(r.form1->ui->Button5, Qt::Key_Left);
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "4", "5"}));
        QTest::keyClick(r.form1->ui->Button5, Qt::Key_Right);
        QCOMPARE(r.form1->fpos, 7);
        QTest::keyClick(r.form1, Qt::Key_End);
        QCOMPARE(r.form1->epos, 2);
        QCOMPARE(r.form1->fpos, 8);
        QTest::keyClick(r.form1->ui->CheckBox1, Qt::Key_PageUp);
        QCOMPARE(r.form1->epos, 1);
        QCOMPARE(shown(r.form1), QStringList({"2", "3", "vid", "vid"}));
        QTest::keyClick(r.form1, Qt::Key_PageDown);
        QCOMPARE(r.form1->epos, 2);
        QTest::keyClick(r.form1, Qt::Key_Home);
        QCOMPARE(r.form1->epos, 0);
        QCOMPARE(r.form1->fpos, 4);

        // A picture filed while the window is open joins its day at once.
        rig::writeFile("temp.dat", "CONNECT 9600\r\n" + rig::makeJpeg() + "\r\nNO CARRIER\r\n");
        typeDate(w, "07.12.2026");
        QCOMPARE(r.form1->convjpg(), 1);
        QCOMPARE(w->rows(), std::vector<int>({1, 2, 3}));
        // Ctrl+F in the main window brings the window back when it was closed.
        w->close();
        QTest::keyClick(r.form1->ui->Button1, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(w->isVisible());
        QVERIFY(r.ui.errors.isEmpty());
    }

    // The pictures of an event or a day go into a folder under their time; two of the same
    // second are told apart by a number; nothing in the folder is replaced, and the archive is
    // never changed.
    void archiveSavesAnEventOrADayUnderTheirTimes() {
        Rig r;
        writeDays();
        const QByteArray files = rig::readFile("files.txt"), events = rig::readFile("events.txt");
        const QStringList foto = filesIn("foto");
        r.build();
        TForm5* w = &r.program->form5;
        r.form1->ui->ToolButton11->click();
        const QString out = r.work.file("out");
        QDir().mkdir(out);
        r.ui.answers << out;
        QTest::keyClick(w->ui->ListView1, Qt::Key_Down);  // the event of pictures 4 to 7
        w->ui->Button1->click();
        const QString t = "2026-12-07 14-05-09";
        QCOMPARE(filesIn(out), QStringList({t + " (2).jpg", t + " (3).jpg", t + " (4).jpg", t + ".jpg"}));
        QCOMPARE(rig::readFile(out + "/" + t + ".jpg"), rig::readFile(file(4)));
        QCOMPARE(rig::readFile(out + "/" + t + " (4).jpg"), rig::readFile(file(7)));
        QCOMPARE(w->ui->Label1->text(), "Сохранено снимков: 4 из 4 в " + QDir::toNativeSeparators(out));

        // The whole day into the same folder: the four already there are not saved again.
        r.ui.answers << out;
        w->ui->Button2->click();
        QCOMPARE(r.ui.dialogs.last(), out);  // the folder last used is proposed
        QCOMPARE(filesIn(out).size(), 6);
        QSet<QByteArray> copies;
        for (const QString& f : filesIn(out)) copies << rig::readFile(out + "/" + f);
        for (int i = 2; i < 8; ++i) QVERIFY2(copies.contains(rig::readFile(file(i))), qPrintable(QString::number(i)));
        QVERIFY(w->ui->Label1->text().startsWith("Сохранено снимков: 6 из 6"));

        // A picture that has gone is named; the others are saved. A cancelled dialog saves nothing.
        QFile::remove(file(5));
        const QString other = r.work.file("other");
        QDir().mkdir(other);
        r.ui.answers << other;
        w->ui->Button1->click();
        QCOMPARE(filesIn(other).size(), 3);
        QVERIFY2(w->ui->Label1->text().startsWith("Сохранено снимков: 3 из 4") &&
                     w->ui->Label1->text().endsWith(QString(name(5))),
                 qPrintable(w->ui->Label1->text()));
        w->ui->Button2->click();
        QCOMPARE(filesIn(other).size(), 3);
        QCOMPARE(r.form1->exportFolder, other);

        QCOMPARE(rig::readFile("files.txt"), files);
        QCOMPARE(rig::readFile("events.txt"), events);
        QStringList left = foto;
        left.removeOne(QFileInfo(file(5)).fileName());  // the one this test removed
        QCOMPARE(filesIn("foto"), left);
        QVERIFY(r.ui.errors.isEmpty());
    }

    // "Архив" for one unit of the book and for the numbers it does not hold: the days marked,
    // the events listed, the day found, what is filed while it is open and a change of the
    // book. The main window's caption names the unit by the book as it is now, or by the name
    // the call's line kept when the book does not hold the number.
    void archiveKeepsToOneUnit() {
        Rig r;
        writeDays();
        {
            journal::Journal calls;
            const auto call = [&](QDateTime start, QByteArray number, QList<QByteArray> pictures, QString unit) {
                QVERIFY(calls.append({start, journal::Direction::Incoming, number, "снимок", "foto OK", 9000, pictures,
                                      unit}));
            };
            call(QDateTime(QDate(2026, 12, 1), QTime(8, 59)), "+79001112233", {dated(0), dated(1)}, "Склад №2");
            call(QDateTime(QDate(2026, 12, 7), QTime(14, 4)), "89005556677", {name(2), name(3)}, "Старые ворота");
            call(QDateTime(QDate(2026, 12, 7), QTime(14, 5)), "89001112233", {name(4), name(5), name(6), name(7)},
                 "Склад №2");
        }
        r.build();
        // The book as the operator keeps it, read in.
        writeUnits("+79001112233;Склад №2;;0;нет\r\n");
        r.form1->watch->start(r.form1->telobj);
        r.form1->gotoevent(1);
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 1 — 07.12.2026 14:04:00, Старые ворота"));
        r.form1->gotoevent(2);
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 2 — 07.12.2026 14:05:00, Склад №2"));

        // Opened for the unit, as the board opens it: on its newest event.
        TForm5* w = &r.program->form5;
        QComboBox* units = w->ui->ComboBox1;
        w->open(watch::Filter::unit("+79001112233"), -1);
        QCOMPARE(items(units), QStringList({"Все объекты", "Склад №2", "Неизвестные номера"}));
        QCOMPARE(units->currentText(), QString("Склад №2"));
        QVERIFY(marked(w, QDate(2026, 12, 1)) && marked(w, QDate(2026, 12, 7)));
        QCOMPARE(w->rows(), std::vector<int>({2}));
        QCOMPARE(w->chosen(), 2);
        QCOMPARE(w->ui->ListView1->topLevelItem(0)->text(2), QString("Склад №2"));
        QVERIFY(w->goToDate(QDate(2026, 12, 3)));
        QCOMPARE(w->rows(), std::vector<int>({0}));

        // The numbers the book does not hold; a picture filed outside a call is of none.
        units->setCurrentIndex(2);
        QVERIFY(!marked(w, QDate(2026, 12, 1)) && marked(w, QDate(2026, 12, 7)));
        QCOMPARE(w->rows(), std::vector<int>({1}));  // the nearest day that has their events
        QCOMPARE(w->ui->ListView1->topLevelItem(0)->text(2), QString("Старые ворота"));
        QVERIFY(w->goToDate(QDate(2026, 12, 1)));
        QCOMPARE(w->ui->Calendar1->selectedDate(), QDate(2026, 12, 7));
        rig::writeFile("temp.dat", "CONNECT 9600\r\n" + rig::makeJpeg() + "\r\nNO CARRIER\r\n");
        QCOMPARE(r.form1->convjpg(), 1);
        QCOMPARE(w->rows(), std::vector<int>({1, 3}));
        units->setCurrentIndex(1);
        QCOMPARE(w->rows(), std::vector<int>({2}));

        // The book changes while the window is open: the unit stays chosen in its new row, and
        // the names follow the book.
        writeUnits("89005556677;Ворота;;0;нет\r\n+79001112233;Склад №2;;0;нет\r\n");
        r.form1->watch->start(r.form1->telobj);
        emit r.form1->watch->bookChanged();
        QCOMPARE(items(units), QStringList({"Все объекты", "Ворота", "Склад №2", "Неизвестные номера"}));
        QCOMPARE(units->currentText(), QString("Склад №2"));
        QCOMPARE(w->rows(), std::vector<int>({2}));
        units->setCurrentIndex(1);
        QCOMPARE(w->rows(), std::vector<int>({1}));
        QCOMPARE(w->ui->ListView1->topLevelItem(0)->text(2), QString("Ворота"));
        r.form1->gotoevent(1);
        QCOMPARE(r.form1->ui->Label1->text(), QString("Событие 1 — 07.12.2026 14:04:00, Ворота"));
        // Opened from the main window, it shows every unit's pictures.
        w->open();
        QCOMPARE(units->currentText(), QString("Все объекты"));
        QCOMPARE(w->rows(), std::vector<int>({1, 2, 3}));
        QVERIFY(r.ui.errors.isEmpty());
    }

    void forwardOnlyPagesAndFilesNothing() {
        Rig r;
        writeArchive(5);
        rig::writeFile("temp.dat", "CONNECT 9600\r\n" + rig::makeJpeg() + "\r\nNO CARRIER\r\n");
        rig::writeDefaultSettings();
        r.build();
        const auto before = QDir("foto").entryList(QDir::Files);
        r.form1->ui->Button5->click();
        r.form1->ui->Button6->click();
        r.form1->ui->Button6->click();
        QCOMPARE(shown(r.form1), QStringList({"1", "2", "3", "4"}));
        QCOMPARE(r.form1->ListBox1.count(), 5);
        QCOMPARE(r.form1->nfiles, 5);
        QVERIFY(r.form1->ListBox2.isEmpty());
        QCOMPARE(QDir("foto").entryList(QDir::Files), before);
    }

    // A picture that is missing, empty or no picture shows its mark, whose caption says which,
    // at start-up and on every page, and never a box; the lists still load, so closing cannot
    // shorten them.
    void aBadPictureGetsItsMarkAndNeverKeepsTheListsFromLoading() {
        Rig r;
        const QList<QByteArray> events = {eventLine({0, 1, 2, 3})};
        writeArchive(6, events);
        QFile::remove(file(5));
        rig::writeFile(file(1), "not a picture");
        rig::writeFile(file(3), "");
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(shown(r.form1), QStringList({"2", unreadable(3), "4", missing(5)}));
        // Drawn where the picture would be: a light card inside a darker frame.
        const QImage shot = r.form1->grab().toImage();
        const QPoint corner = r.form1->ui->Image4->pos();
        QCOMPARE(shot.pixelColor(corner + QPoint(80, 10)), QColor(0xE4, 0xE4, 0xE4));
        QCOMPARE(shot.pixelColor(corner + QPoint(80, 0)), QColor(0x80, 0x80, 0x80));
        r.form1->ui->Button5->click();
        r.form1->ui->Button5->click();
        QCOMPARE(shown(r.form1), QStringList({"0", unreadable(1), "2", unreadable(3)}));
        r.form1->ui->Button6->click();
        QCOMPARE(shown(r.form1), QStringList({unreadable(1), "2", unreadable(3), "4"}));
        QCOMPARE(r.form1->epos, 0);
        stamp(r.form1);
        r.form1->ui->Button7->click();
        QCOMPARE(shown(r.form1), QStringList({"0", unreadable(1), "2", unreadable(3)}));
        stamp(r.form1);
        r.form1->ui->Button8->click();
        QCOMPARE(shown(r.form1), QStringList({"0", unreadable(1), "2", unreadable(3)}));
        QVERIFY(r.ui.errors.isEmpty());
        r.form1->close();
        QCOMPARE(rig::readFile("events.txt"), plat::StringList::format(events));
        QCOMPARE(rig::readFile("files.txt").count("\r\n"), 6);

        // A picture list that cannot be read is reported too; the events still load.
        Rig d;
        rig::writeFile("events.txt", plat::StringList::format(events));
        QDir().mkdir("files.txt");
        rig::writeDefaultSettings();
        d.build();
        QCOMPARE(d.ui.errors.size(), 1);
        QVERIFY2(d.ui.errors[0].contains("files.txt"), qPrintable(d.ui.errors[0]));
        QCOMPARE(d.form1->ListBox2.count(), 1);
        QDir().rmdir("files.txt");

        // A list that could not be read is not written back at close (a save would replace
        // the unread file with this run's entries alone); the other list is saved as usual.
        Rig u;
        QDir().mkdir("files.txt");
        rig::writeFile("events.txt", plat::StringList::format(events));
        rig::writeDefaultSettings();
        u.build();
        QVERIFY(u.form1->picturesUnread);
        QVERIFY(!u.form1->eventsUnread);
        u.form1->ListBox1.append("foto\\new");
        u.form1->ListBox2.append("1,foto\\new,");
        u.ui.errors.clear();
        u.form1->close();
        QVERIFY(u.ui.errors.isEmpty());
        QVERIFY(QFileInfo("files.txt").isDir());
        QCOMPARE(rig::readFile("events.txt"), plat::StringList::format(events) + "1,foto\\new,\r\n");
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
