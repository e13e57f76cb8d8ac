// A full disk and a read-only working folder: the working folder is a small tmpfs mounted for
// the test (which needs the right to mount; the test is skipped without it). Whatever space
// is left, files.txt, events.txt, u.txt, t1.txt and t2.txt are replaced whole or left as they
// were, no half picture or temporary file stays behind, the operator is told, and once there
// is room again the next transfer files everything.
#include "acquisition_rig.h"
#include "config/tform2.h"
#include "platform/instancelock.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QDir>
#include <QtTest>

#include <sys/mount.h>
#include <unistd.h>

namespace {

// A tmpfs on the rig's working folder, entered as the current folder; unmounted at the end.
class SmallFs {
public:
    SmallFs(const QString& dir, int kilobytes) : dir_(dir) {
        const QByteArray opts = "size=" + QByteArray::number(kilobytes) + "k";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, opts.constData()) == 0;
        if (mounted_) QDir::setCurrent(dir);  // the folder as mounted, not the one beneath
    }
    ~SmallFs() {
        if (!mounted_) return;
        QDir::setCurrent(QStringLiteral("/"));
        ::umount2(QFile::encodeName(dir_).constData(), MNT_DETACH);
        QDir::setCurrent(dir_);
    }
    bool ok() const { return mounted_; }

    // Fills the filesystem up, then frees `bytes` of it (in whole pages, as tmpfs counts).
    void leaveFree(qint64 bytes) {
        QFile f(QStringLiteral("filler"));
        f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size()) {
        }
        f.close();
        f.resize(std::max<qint64>(0, f.size() - bytes));
    }
    void makeRoom() { QFile::remove(QStringLiteral("filler")); }
    bool setReadOnly(bool ro) {
        return ::mount("tmpfs", QFile::encodeName(dir_).constData(), "tmpfs", MS_REMOUNT | (ro ? MS_RDONLY : 0),
                       nullptr) == 0;
    }

private:
    QString dir_;
    bool mounted_ = false;
};

// The settings, the index and the raw transfer as they stand on disk.
struct Files {
    QByteArray u, t1, t2, files, events, temp;
    static Files now() {
        return {rig::readFile("u.txt"),     rig::readFile("t1.txt"),     rig::readFile("t2.txt"),
                rig::readFile("files.txt"), rig::readFile("events.txt"), rig::readFile("temp.dat")};
    }
};

}  // namespace

class TestHardeningDisk : public QObject {
    Q_OBJECT

    // A call whose picture the full disk keeps out: there is room for temp.dat alone, and the
    // page of the data phase's mark.
    static void keptOut(rig::Rig& r, SmallFs& fs, const QByteArray& picture) {
        const QByteArray stream = "UNIT\r\n" + picture + "\r\n";
        rig::writeFile("temp.dat", "x");
        fs.leaveFree((stream.size() + acq::noCarrier().size() + 4095) / 4096 * 4096);
        snimok(r, stream);
        QCOMPARE(r.ui.messages.value(0).text, QString("Can't create file"));
        QCOMPARE(r.form1->ListBox1.count(), 0);
        QCOMPARE(r.form1->unfiled.size(), 1);
        QCOMPARE(rig::readFile("temp.dat"), stream + acq::noCarrier());
    }

    // Снимок on the scripted line: the unit sends `stream`, then the call ends.
    static void snimok(rig::Rig& r, const QByteArray& stream) {
        r.line().afterWrite("ATD").feed(acq::connect9600()).afterWrite("foto1\r").feed(stream).feed(acq::noCarrier());
        r.form1->ui->Button4->click();
    }

    // What holds whatever the disk did: each list file is the old one or the list in memory,
    // whole; every listed picture is on disk byte for byte and nothing else is in foto; no
    // temporary file is left.
    static void checkConsistent(TForm1& f, const Files& before, const QSet<QByteArray>& sent) {
        const QByteArray files = rig::readFile("files.txt"), events = rig::readFile("events.txt");
        QVERIFY(files == before.files || files == plat::StringList::format(f.ListBox1.lines()));
        QVERIFY(events == before.events || events == plat::StringList::format(f.ListBox2.lines()));
        QCOMPARE(rig::readFile("u.txt"), before.u);
        QCOMPARE(rig::readFile("t1.txt"), before.t1);
        QCOMPARE(rig::readFile("t2.txt"), before.t2);
        // Every stored picture is one that was sent, and none is stored twice.
        QSet<QByteArray> seen;
        for (const QByteArray& name : f.ListBox1.lines()) {
            const QByteArray bytes = acq::stored(name);
            QVERIFY2(sent.contains(bytes), name.constData());
            QVERIFY2(!seen.contains(bytes), name.constData());
            seen.insert(bytes);
        }
        QCOMPARE(QDir("foto").entryList(QDir::Files).size(), f.ListBox1.count());
        const QStringList all = QDir().entryList(QDir::Files);
        QCOMPARE(all.filter(QRegularExpression("^(files|events|u|t1|t2)\\.txt.")), QStringList());
    }

private slots:
    void aFullDiskAtEveryPointOfATransfer() {
        rig::Rig r;
        SmallFs fs(r.work.path(), 4096);
        if (!fs.ok()) QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
        acq::openPort(r);
        TForm1& f = *r.form1;

        // Pictures of a few pages each, all different.
        QSet<QByteArray> sent;
        const auto pictures = [](unsigned seed) {
            QList<QByteArray> out;
            for (unsigned k = 0; k < 3; ++k) out.append(rig::makeJpeg({320, 240, 85, false, seed * 3 + k}));
            return out;
        };
        auto transfer = [&](unsigned seed) {
            QByteArray stream = "UNIT\r\n";
            const QList<QByteArray> jpegs = pictures(seed);
            for (int k = 0; k < 3; ++k) {
                sent.insert(jpegs[k]);
                stream += jpegs[k] + "\r\n";
            }
            snimok(r, stream);
            return stream;
        };
        transfer(1);
        QCOMPARE(f.ListBox1.count(), 3);

        // From no room at all to room for everything, in steps of a page: once with the last
        // transfer's temp.dat in place (emptying it at the start of the data phase frees its
        // pages again), once with a small one. Counted: the steps in which temp.dat was cut
        // short, some pictures were stored but not all, pictures were stored but the index was
        // not written, and everything was written.
        int tempCut = 0, partly = 0, indexUnwritten = 0, whole = 0;  // the third depends on the pictures' sizes
        for (int pass = 0; pass < 2; ++pass)
            for (qint64 room = 0; room <= 96 * 1024; room += 4096) {
                const unsigned step = unsigned(pass * 25 + room / 4096);
                const QString at = QStringLiteral("pass %1 with %2 bytes free").arg(pass).arg(room);
                if (pass == 1) rig::writeFile("temp.dat", "x");
                fs.leaveFree(room);
                const Files before = Files::now();
                const int listed = f.ListBox1.count();
                r.ui.messages.clear();
                r.ui.errors.clear();
                const QByteArray stream = transfer(2 + step);
                const int stored = f.ListBox1.count() - listed;
                checkConsistent(f, before, sent);
                if (QTest::currentTestFailed()) QFAIL(qPrintable(at));

                // Whatever could not be stored, the operator was told.
                if (stored < 3)
                    QVERIFY2(!r.ui.messages.isEmpty() && r.ui.messages[0].text == "Can't create file", qPrintable(at));
                const bool listsWritten = rig::readFile("files.txt") == plat::StringList::format(f.ListBox1.lines());
                if (stored > 0 && !listsWritten)
                    QVERIFY2(r.ui.errors.value(0).startsWith("Cannot create file"), qPrintable(at));
                // A temp.dat written whole keeps every picture of the transfer, stored or not.
                if (f.panel(0) != QStringLiteral("err 0"))
                    QVERIFY2(rig::readFile("temp.dat") == stream + acq::noCarrier(), qPrintable(at));
                else QVERIFY2(stream.startsWith(rig::readFile("temp.dat")), qPrintable(at));
                QCOMPARE(f.busy + f.tmrstop + f.dialed, 0);
                tempCut += f.panel(0) == QStringLiteral("err 0");
                partly += stored > 0 && stored < 3;
                indexUnwritten += stored > 0 && !listsWritten;
                whole += stored == 3 && listsWritten;

                // With room again the next transfer files the pictures the full disk kept out
                // (they were received whole) and its own, and the index catches up.
                fs.makeRoom();
                f.setPanel(0, f.portname);
                transfer(100 + step);
                QVERIFY2(f.ListBox1.count() == listed + 6, qPrintable(at));
                QVERIFY2(f.unfiled.isEmpty(), qPrintable(at));
                QCOMPARE(f.panel(2), QString("foto OK"));
                QCOMPARE(acq::fileLines("files.txt"), f.ListBox1.lines());
                QCOMPARE(acq::fileLines("events.txt"), f.ListBox2.lines());
            }
        qInfo("steps: temp.dat cut %d, some pictures stored %d, index not written %d, all written %d", tempCut, partly,
              indexUnwritten, whole);
        QVERIFY(tempCut > 0 && partly > 0 && whole > 0);

        // Room for temp.dat, the data phase's mark and the three pictures, in whole pages, and
        // not a byte more: the pictures are stored, and so is the index, whose new lines are
        // appended within the pages its files have (a list written whole would need pages of
        // its own).
        {
            const auto pages = [](qint64 bytes) { return (bytes + 4095) / 4096; };
            QByteArray stream = "UNIT\r\n";
            qint64 need = 0;
            for (const QByteArray& jpeg : pictures(999)) {
                stream += jpeg + "\r\n";
                need += pages(jpeg.size());
            }
            need += pages(stream.size() + acq::noCarrier().size()) + 1;
            rig::writeFile("temp.dat", "x");  // one page, freed when the data phase empties it
            fs.leaveFree((need - 1) * 4096);
            const Files before = Files::now();
            const int listed = f.ListBox1.count();
            r.ui.messages.clear();
            r.ui.errors.clear();
            QCOMPARE(transfer(999), stream);
            QCOMPARE(f.ListBox1.count(), listed + 3);
            QCOMPARE(f.panel(2), QString("foto OK"));
            QCOMPARE(r.ui.errors, QStringList());
            QVERIFY(r.ui.messages.isEmpty());
            checkConsistent(f, before, sent);
            QCOMPARE(acq::fileLines("files.txt"), f.ListBox1.lines());
            QCOMPARE(acq::fileLines("events.txt"), f.ListBox2.lines());
            fs.makeRoom();
        }

        // The settings and the index at close on a full disk: the toolkit's error, the files
        // as they were.
        fs.leaveFree(0);
        const Files before = Files::now();
        r.ui.errors.clear();
        r.form2->ui->Edit5->setText(QString(300, QLatin1Char('m')));
        r.form2->ui->Button2->click();
        QCOMPARE(r.ui.errors, QStringList{"Cannot create file u.txt"});
        f.ListBox1.append("foto\\unsaved" + QByteArray(8192, 'u'));  // more than the file's last page holds
        f.handle([&] { f.FormClose(); });
        QCOMPARE(r.ui.errors.value(1), QString("Cannot create file files.txt"));
        const Files after = Files::now();
        QCOMPARE(after.u, before.u);
        QCOMPARE(after.files, before.files);
        QCOMPARE(after.events, before.events);
        fs.makeRoom();
    }

    // A transfer whose pictures could not be stored, then room again and the next call: the
    // first transfer's pictures are no longer only in temp.dat, which the next data phase
    // empties; they are held and stored at the next filing, and credited in the journal to
    // the call that brought them.
    void picturesThatCouldNotBeStoredOutliveTheNextCall() {
        rig::Rig r;
        SmallFs fs(r.work.path(), 1024);
        if (!fs.ok()) QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
        acq::openPort(r);
        TForm1& f = *r.form1;
        const QByteArray a = rig::makeJpeg({320, 240, 85, false, 41}), b = rig::makeJpeg({320, 240, 85, false, 42});
        f.telobj = "+79001112233";
        keptOut(r, fs, a);
        if (QTest::currentTestFailed()) return;

        fs.makeRoom();
        f.telobj = "+79005556677";
        snimok(r, "UNIT\r\n" + b + "\r\n");
        QCOMPARE(f.panel(2), QString("foto OK"));
        // The picture the full disk kept out is stored at the next filing, once, as its own
        // event before the call's.
        QCOMPARE(f.ListBox1.count(), 2);
        const QByteArray nameA = f.ListBox1.at(0), nameB = f.ListBox1.at(1);
        QCOMPARE(acq::stored(nameA), a);
        QCOMPARE(acq::stored(nameB), b);
        QCOMPARE(f.ListBox2.lines(), (QList<QByteArray>{"1," + nameA + ",", "1," + nameB + ","}));
        QVERIFY(f.unfiled.isEmpty());

        // The first call's line (written once there was room) names no picture; a line of its
        // own credits that call with its picture; the second call's line names its own only.
        const auto calls = acq::journalCalls();
        QCOMPARE(calls.size(), 3);
        const journal::Call callA = calls[0];
        QCOMPARE(callA.number, QByteArray("+79001112233"));
        QCOMPARE(callA.outcome, QString("Ошибка связи"));
        QCOMPARE(callA.pictures, QList<QByteArray>());
        const journal::Call later{callA.start, callA.direction, callA.number, callA.what, "сохранены позже",
                                  0,           {nameA},         "Объект"};
        QCOMPARE(calls[1], later);
        QCOMPARE(calls[2].number, QByteArray("+79005556677"));
        QCOMPARE(calls[2].pictures, QList<QByteArray>{nameB});
        QVERIFY(calls[2].start > callA.start);
        // The viewer finds the caller and the time of each picture; the unit was last heard in
        // the second call, also after a start that reads the journal again.
        QCOMPARE(f.calls.callOf(nameA), std::optional(later));
        QCOMPARE(f.calls.callOf(nameB), std::optional(calls[2]));
        QCOMPARE(acq::toSecond(f.calls.lastHeard().value_or(QDateTime())), calls[2].start);
        QCOMPARE(f.eventCaption(0), "Событие 0 — " + journal::timeText(callA.start) + ", Снимок, Объект");
        journal::Journal again;
        again.load();
        QCOMPARE(again.lastHeard(), std::optional(calls[2].start));
        QCOMPARE(again.callOf(nameA), std::optional(later));
    }

    // Held pictures stored by a later call that brought none of its own: the status speaks of
    // that call, while the panes show what was stored.
    void heldPicturesStoredByAnEmptyCallAreShown() {
        rig::Rig r;
        SmallFs fs(r.work.path(), 1024);
        if (!fs.ok()) QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
        acq::openPort(r);
        TForm1& f = *r.form1;
        const QByteArray a = rig::makeJpeg({320, 240, 85, false, 43});
        keptOut(r, fs, a);
        if (QTest::currentTestFailed()) return;

        fs.makeRoom();
        snimok(r, "UNIT\r\n");
        QCOMPARE(f.panel(2), QString("Ошибка связи"));
        QCOMPARE(f.ListBox1.count(), 1);
        QCOMPARE(acq::stored(f.ListBox1.at(0)), a);
        QCOMPARE(f.ui->Label2->text(), QString::fromLatin1(f.ListBox1.at(0) + ".jpg"));
    }

    void aReadOnlyWorkingFolder() {
        rig::Rig r;
        SmallFs fs(r.work.path(), 4096);
        if (!fs.ok()) QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
        acq::openPort(r);
        TForm1& f = *r.form1;
        const QByteArray a = acq::picture(1, 160, 128), b = acq::picture(2, 160, 128);
        snimok(r, a);
        QCOMPARE(f.ListBox1.count(), 1);
        const Files before = Files::now();

        QVERIFY(fs.setReadOnly(true));
        // No lock can be made here: that keeps nobody out.
        QVERIFY(plat::InstanceLock(QStringLiteral("ravlo.lock")).free());
        snimok(r, b);
        // temp.dat could not be made: the failure shows, and neither the picture nor the
        // index could be written.
        QCOMPARE(f.panel(0), QString("err 0"));
        QCOMPARE(f.panel(2), QString("Ошибка связи"));
        QCOMPARE(r.ui.messages.size(), 1);
        QCOMPARE(r.ui.messages[0].text, QString("Can't create file"));
        QCOMPARE(f.ListBox1.count(), 1);
        r.form2->ui->Button2->click();
        QCOMPARE(r.ui.errors, QStringList{"Cannot create file u.txt"});
        const Files after = Files::now();
        QCOMPARE(after.u, before.u);
        QCOMPARE(after.t1, before.t1);
        QCOMPARE(after.t2, before.t2);
        QCOMPARE(after.files, before.files);
        QCOMPARE(after.events, before.events);
        QCOMPARE(after.temp, before.temp);

        // Closing has nothing to write, for the lists equal their files; the port choice is
        // stored.
        r.ui.errors.clear();
        f.portname = QStringLiteral("COM7");
        f.handle([&] { f.FormClose(); });
        QCOMPARE(r.ui.errors, QStringList());
        QCOMPARE(r.store.value, std::optional<QString>(QStringLiteral("COM7")));
        QCOMPARE(Files::now().files, before.files);

        // Writable again: the program goes on.
        QVERIFY(fs.setReadOnly(false));
        f.setPanel(0, f.portname);
        snimok(r, b);
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(f.panel(0), f.portname);
        // The picture the read-only folder kept out comes first, as its own event.
        QCOMPARE(acq::fileLines("files.txt").size(), 3);
        QCOMPARE(acq::stored(f.ListBox1.at(1)), b);
        QCOMPARE(acq::stored(f.ListBox1.at(2)), b);
        QCOMPARE(f.ListBox2.count(), 3);
    }
};

QTEST_MAIN(TestHardeningDisk)
#include "test_hardening_disk.moc"
