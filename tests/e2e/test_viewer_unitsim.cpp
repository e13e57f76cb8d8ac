// Paging through an archive that was received from the simulated unit, through the real serial
// layer: by picture and by event, after transfers and after a restart in the same working
// folder, and with a picture file gone missing under a transfer (its pane shows the mark).
#include "acquisition_rig.h"
#include "unitsim_process.h"
#include "acquisition/archive.h"

#include "platform/jpeg.h"
#include "platform/picturepane.h"
#include "platform/stringlist.h"
#include "ui_tform1.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

// What a pane should show for an archive entry (a file name as stored, with ".jpg"): its
// picture, or the "no picture" mark.
struct Shown {
    QImage picture;
    QString caption;
    bool mark = false;
};

Shown entry(const QByteArray& name) {
    return {plat::decodeJpeg(acq::stored(name), nullptr), QString::fromLatin1(name) + ".jpg"};
}

Shown gone(const QByteArray& name) { return {QImage(), QString::fromLatin1(name) + ".jpg — нет файла", true}; }

Shown placeholder() { return {plat::decodeJpeg(rig::readFile("vid.jpg"), nullptr), QString()}; }

QList<Shown> panes(TForm1& f) {
    const std::pair<PicturePane*, QLabel*> places[] = {{f.ui->Image1, f.ui->Label2},
                                                       {f.ui->Image2, f.ui->Label3},
                                                       {f.ui->Image3, f.ui->Label4},
                                                       {f.ui->Image4, f.ui->Label5}};
    QList<Shown> out;
    for (const auto& [pane, caption] : places)
        out.append({pane->picture(), caption->text(), pane->fault() != PicturePane::Fault::None});
    return out;
}

// The panes show exactly these, Image1 to Image4.
void checkPanes(TForm1& f, const QList<Shown>& want) {
    const QList<Shown> got = panes(f);
    QCOMPARE(want.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(want[i].mark || !want[i].picture.isNull(), qPrintable(want[i].caption + " cannot be decoded"));
        QCOMPARE(got[i].caption, want[i].caption);
        QCOMPARE(got[i].mark, want[i].mark);
        QVERIFY2(got[i].picture == want[i].picture, qPrintable(QString("pane %1").arg(i + 1)));
    }
}

// The page of picture-list entries first .. first + 3.
QList<Shown> page(TForm1& f, int first) {
    QList<Shown> out;
    for (int i = first; i < first + 4; ++i) out << entry(f.ListBox1.at(i));
    return out;
}

}  // namespace

class TestViewerUnitsim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    void pagingAReceivedArchive() {
        rig::UnitSimProcess sim({"--fast", "--pictures", "3", "--resolution", "1", "--dial-delay", "100"});
        QVERIFY(sim.ok());
        rig::RealRig rr;
        QVERIFY(QFile::copy(":/vid.jpg", "vid.jpg"));  // as the launcher installs it
        rr.build(sim.link());
        TForm1* f = rr.form1;

        // Two transfers: the first loses its last picture (2 stored), the second brings 3.
        sim.command("fault truncate");
        f->ui->Button4->click();
        f->ui->Button4->click();
        QCOMPARE(f->nfiles, 5);
        QCOMPARE(sim.completePictures().size(), 5);
        CHECK(checkPanes(*f, page(*f, 1)));
        // Started on an empty archive: fpos is 0 and stays there through the transfers.
        QCOMPARE(f->fpos, 0);

        // ">" only pages: up to the page that ends with the newest, never filing again.
        f->ui->Button6->click();
        QCOMPARE(f->fpos, 1);
        for (int i = 0; i < 6; ++i) f->ui->Button6->click();
        QCOMPARE(f->fpos, 5);
        CHECK(checkPanes(*f, page(*f, 1)));
        QCOMPARE(f->nfiles, 5);
        QCOMPARE(acq::fileLines("files.txt").size(), 5);
        QCOMPARE(acq::fileLines("events.txt").size(), 2);
        QCOMPARE(QDir("foto").entryList(QDir::Files).size(), 5);
        // "<" stops at the page that starts with entry 0.
        f->ui->Button5->click();
        f->ui->Button5->click();
        QCOMPARE(f->fpos, 4);
        CHECK(checkPanes(*f, page(*f, 0)));

        // By event: the three of the second, then the two of the first with the placeholder
        // and empty captions where it has none; "<<" at the oldest redraws it.
        // The journal names each call's pictures, and the event's caption gives its call and
        // its unit, the settings' one, "Объект" in the book.
        const QList<QByteArray> journal = acq::fileLines("calls.csv");
        QCOMPARE(journal.size(), 3);  // the heading and the two calls
        const auto second = journal::parseLine(journal[2]);
        QVERIFY(second);
        QCOMPARE(second->pictures, f->ListBox1.lines().mid(2));
        const QString secondTime = second->start.toString("dd.MM.yyyy hh:mm:ss");
        f->ui->Button8->click();
        QCOMPARE(f->ui->Label1->text(), "Событие 1 — " + secondTime + ", Снимок, Объект");
        CHECK(checkPanes(*f, {entry(f->ListBox1.at(2)), entry(f->ListBox1.at(3)), entry(f->ListBox1.at(4)),
                              placeholder()}));
        f->ui->Button8->click();
        QCOMPARE(f->epos, 1);
        f->ui->Button7->click();
        f->ui->Button7->click();
        QVERIFY2(f->ui->Label1->text().startsWith("Событие 0 — ") && f->ui->Label1->text().endsWith(", Снимок, Объект"),
                 qPrintable(f->ui->Label1->text()));
        CHECK(checkPanes(*f, {entry(f->ListBox1.at(0)), entry(f->ListBox1.at(1)), placeholder(), placeholder()}));
        QCOMPARE(rr.ui.errors, QStringList());

        // Выход saves the lists; a new start in the same folder shows the four newest.
        const QList<QByteArray> pictures = f->ListBox1.lines();
        const QList<QByteArray> events = f->ListBox2.lines();
        f->ui->Button2->click();
        rr.program.reset();
        QCOMPARE(acq::fileLines("files.txt"), pictures);
        QCOMPARE(acq::fileLines("events.txt"), events);
        rr.build(sim.link());
        f = rr.form1;
        QCOMPARE(f->nfiles, 5);
        QCOMPARE(f->fpos, 5);
        QCOMPARE(f->epos, 1);
        CHECK(checkPanes(*f, page(*f, 1)));
        QCOMPARE(f->ui->Label8->text(), "Был на связи:\n" + secondTime);

        // A picture file of the page a transfer shows has gone: its pane shows the mark, with no
        // box, the new pictures fill the other panes, and the transfer is filed and cleaned up.
        const QByteArray lost = f->ListBox1.at(4);
        QVERIFY(QFile::remove(nativePath(lost + ".jpg")));
        f->ui->Button4->click();
        QCOMPARE(f->panel(2), QString("foto OK"));
        QCOMPARE(f->nfiles, 8);
        QCOMPARE(rr.ui.errors, QStringList());
        CHECK(checkPanes(*f,
                         {gone(lost), entry(f->ListBox1.at(5)), entry(f->ListBox1.at(6)), entry(f->ListBox1.at(7))}));
        QCOMPARE(f->busy + f->tmrstop + f->dialed, 0);
        QCOMPARE(acq::fileLines("files.txt").size(), 8);
        QCOMPARE(acq::fileLines("events.txt").size(), 3);
        rig::writeFile(nativePath(lost + ".jpg"), sim.completePictures().value(4));

        // The transfer moved neither position: ">" goes on from the page shown before it.
        QCOMPARE(f->fpos, 5);
        f->ui->Button6->click();
        QCOMPARE(f->fpos, 6);
        CHECK(checkPanes(*f, page(*f, 2)));
        f->ui->Button8->click();
        QVERIFY2(f->ui->Label1->text().startsWith("Событие 2 — ") && f->ui->Label1->text().endsWith(", Снимок, Объект"),
                 qPrintable(f->ui->Label1->text()));
        CHECK(checkPanes(*f, {entry(f->ListBox1.at(5)), entry(f->ListBox1.at(6)), entry(f->ListBox1.at(7)),
                              placeholder()}));
        QCOMPARE(rr.ui.errors, QStringList());
        QCOMPARE(rr.ui.messages.size(), 0);
    }
};

QTEST_MAIN(TestViewerUnitsim)
#include "test_viewer_unitsim.moc"
