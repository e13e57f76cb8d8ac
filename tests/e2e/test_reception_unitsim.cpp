// Receiving pictures from the simulated modem and unit, through the real serial layer on its
// pseudo-terminal: a picture on request, the unit calling in, several pictures in one call,
// a call dropped in the middle of a picture, garbled and cut-short transfers, and the port
// going away in the middle of a picture. Each ends with the archive checked against what the
// unit logged as sent whole: the exact bytes in foto, one picture-list entry each, one event
// line per transfer, and the four newest pictures in the panes. And the journal of such calls
// as a spreadsheet opens it.
#include "acquisition_rig.h"
#include "timing.h"
#include "unitsim_process.h"
#include "acquisition/archive.h"

#include "jpegmaker.h"
#include "platform/cp1251.h"
#include "platform/jpeg.h"
#include "platform/stringlist.h"
#include "watch/stationlog.h"
#include "ui_tform1.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <algorithm>

namespace {

// Quick calls: no waiting for the dial, the answer or the rings beyond what the poll needs.
const QStringList kQuick{"--dial-delay", "200", "--answer-delay", "200", "--ring-interval", "300"};

// Every new text of status panel 2, as the waiting loops leave it.
struct PanelLog {
    QStringList texts;
    void attach(rig::RealRig& rr) {
        rr.ui.onPump = [this, &rr] { note(rr.form1->panel(2)); };
    }
    void note(const QString& t) {
        if (texts.isEmpty() || texts.last() != t) texts.append(t);
    }
    // True when the texts appear in this order (others may stand between them).
    bool sawInOrder(const QStringList& wanted) const {
        qsizetype i = 0;
        for (const QString& t : texts)
            if (i < wanted.size() && t == wanted[i]) ++i;
        return i == wanted.size();
    }
};

// The time a picture name carries (hhmmss_ddmmyy).
QDateTime nameTime(const QByteArray& name) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(name.mid(5, 13)), QStringLiteral("HHmmss_ddMMyy"));
    return t.addYears(100);  // two-digit years read as 19yy
}

struct Archive {
    int before = 0;  // entries the archive had before the transfers checked
    QDateTime from;  // when the first of them started
};

// The archive holds, after its `before` entries, exactly `sent` in that order, each under
// foto\hhmmss_ddmmyyfN with N its place and the time of filing; files.txt is the picture list;
// events.txt ends with one line per transfer, `perEvent` giving the pictures of each.
void checkArchive(rig::RealRig& rr, const Archive& a, const QList<QByteArray>& sent, const QList<int>& perEvent) {
    TForm1& f = *rr.form1;
    const QList<QByteArray> names = acq::fileLines("files.txt");
    QCOMPARE(names, f.ListBox1.lines());
    QCOMPARE(names.size(), a.before + sent.size());
    QCOMPARE(f.nfiles, names.size());
    static const QRegularExpression form(QStringLiteral("^foto\\\\\\d{6}_\\d{6}f(\\d+)$"));
    for (qsizetype i = 0; i < sent.size(); ++i) {
        const QByteArray& name = names[a.before + i];
        const auto m = form.match(QString::fromLatin1(name));
        QVERIFY2(m.hasMatch(), name.constData());
        QCOMPARE(m.captured(1).toInt(), a.before + int(i));
        const QDateTime t = nameTime(name);
        QVERIFY2(t >= a.from.addSecs(-1) && t <= QDateTime::currentDateTime().addSecs(1), name.constData());
        QVERIFY(!sent[i].isEmpty());
        QVERIFY2(acq::stored(name) == sent[i], name.constData());
    }
    // Nothing else in foto.
    QCOMPARE(QDir("foto").entryList(QDir::Files).size(), names.size());
    const QList<QByteArray> events = acq::fileLines("events.txt");
    QCOMPARE(events, f.ListBox2.lines());
    QVERIFY(events.size() >= perEvent.size());
    qsizetype next = a.before;
    const qsizetype firstNew = events.size() - perEvent.size();
    for (qsizetype e = 0; e < perEvent.size(); ++e) {
        QByteArray line = QByteArray::number(perEvent[e]);
        for (int k = 0; k < perEvent[e]; ++k) line += "," + names[next++];
        QCOMPARE(events[firstNew + e], line + ",");
    }
    QCOMPARE(next, names.size());
}

// The panes show the four newest pictures, older to newer, captioned with the stored names.
void checkNewestShown(rig::RealRig& rr) {
    TForm1& f = *rr.form1;
    PicturePane* panes[] = {f.ui->Image1, f.ui->Image2, f.ui->Image3, f.ui->Image4};
    QLabel* captions[] = {f.ui->Label2, f.ui->Label3, f.ui->Label4, f.ui->Label5};
    const int n = f.nfiles;
    const int first = std::max(n - 4, 0);
    for (int i = 0; i < std::min(n, 4); ++i) {
        const QByteArray name = f.ListBox1.at(first + i);
        QCOMPARE(captions[i]->text(), QString::fromLatin1(name) + ".jpg");
        QString err;
        const QImage want = plat::decodeJpeg(acq::stored(name), &err);
        QVERIFY2(!want.isNull(), qPrintable(err));
        QCOMPARE(panes[i]->picture(), want);
    }
}

void checkIdle(rig::RealRig& rr) {
    TForm1& f = *rr.form1;
    QVERIFY2(!QFile::exists("temp.pending"), "a filed phase is still marked");
    QCOMPARE(f.busy, 0);
    QCOMPARE(f.tmrstop, 0);
    QCOMPARE(f.dialed, 0);
    QVERIFY(!f.ui->CheckBox1->isChecked());
    QVERIFY(f.ui->Pbar1->isHidden());
    QCOMPARE(rr.ui.errors, QStringList());
    QCOMPARE(rr.ui.messages.size(), 0);
}

QString writeTemp(QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    rig::writeFile(path, bytes);
    return path;
}

// The main window of the program that runProgram runs in this process, if it is up.
TForm1* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<TForm1*>(w)) return f;
    return nullptr;
}

// Once runProgram's window is up: runs check on it, then closes it, which ends runProgram. A
// start that built no window ends its message loop all the same.
void whenStarted(std::function<void(TForm1&)> check) {
    QTimer::singleShot(0, [check] {
        TForm1* f = mainWindow();
        if (!f) return QCoreApplication::exit();
        check(*f);
        f->close();
    });
}

// This test program run again as Ravlo, for a test that kills it: with RAVLO_RECEIVER set to
// the working folder and the port, a line each, it runs the program there on the real serial
// layer and presses Снимок once the window is up.
int runReceiver(const QByteArray& folderAndPort) {
    const QList<QByteArray> args = folderAndPort.split('\n');
    QDir::setCurrent(QString::fromLocal8Bit(args.value(0)));
    plat::SystemClock clock;
    fake::Ui ui;
    plat::QtPortSystem ports;
    fake::PortStore store;
    store.value = QString::fromLocal8Bit(args.value(1));
    fake::Notices notices;
    fake::Disk disk;
    plat::Platform sys{clock, ui, ports, store, notices, disk};
    QTimer::singleShot(0, [] {
        if (TForm1* f = mainWindow()) f->ui->Button4->click();
    });
    return runProgram(sys);
}

// Starts this test program as Ravlo in the rig's folder on unitsim's line (runReceiver).
void startReceiver(QProcess& ravlo, const rig::RealRig& rr, const rig::UnitSimProcess& sim) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RAVLO_RECEIVER", rr.work.path() + "\n" + sim.link());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    ravlo.setProcessEnvironment(env);
    ravlo.setProcessChannelMode(QProcess::ForwardedChannels);
    ravlo.start(QCoreApplication::applicationFilePath(), {});
}

}  // namespace

class TestReceptionUnitsim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    // Снимок: dial, "foto1\r", the picture, "foto OK"; a second request goes on from N = 1.
    void aPictureOnRequest() {
        rig::UnitSimProcess sim(QStringList{"--fast"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        PanelLog log;
        log.attach(rr);
        const Archive a{0, QDateTime::currentDateTime()};
        const QString designCaption = rr.form1->ui->Label3->text();
        const QImage designPicture = rr.form1->ui->Image2->picture();

        rr.form1->ui->Button4->click();
        log.note(rr.form1->panel(2));
        QCOMPARE(rr.form1->panel(2), QString("foto OK"));
        QVERIFY(log.sawInOrder({"Набор номера", "Прием фото", "foto OK"}));
        QCOMPARE(rr.wire.written, QByteArray("ATD+79001112233\rfoto1\r"));
        QCOMPARE(rr.form1->panel(0), sim.link());
        QCOMPARE(rr.form1->portopen, 1);
        CHECK(checkArchive(rr, a, sim.completePictures(), {1}));
        QCOMPARE(sim.completePictures().size(), 1);
        CHECK(checkNewestShown(rr));
        // A pane the page does not reach keeps its picture and caption.
        QCOMPARE(rr.form1->ui->Label3->text(), designCaption);
        QCOMPARE(rr.form1->ui->Image2->picture(), designPicture);
        CHECK(checkIdle(rr));

        rr.form1->ui->Button4->click();
        QCOMPARE(rr.form1->panel(2), QString("foto OK"));
        CHECK(checkArchive(rr, a, sim.completePictures(), {1, 1}));
        QVERIFY(rr.form1->ListBox1.at(1).endsWith("f1"));
        CHECK(checkNewestShown(rr));
        CHECK(checkIdle(rr));
    }

    // The unit calls: the poll takes the first byte, the reception shows "Звонок", answers each
    // "+CLIP" line with one "ATA\r" and receives; "Ready" at the next tick.
    void theUnitCallsIn() {
        rig::UnitSimProcess sim(QStringList{"--fast"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        TForm1& f = *rr.form1;
        PanelLog log;
        log.attach(rr);
        const Archive a{0, QDateTime::currentDateTime()};

        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + sim.link());
        QVERIFY(f.Timer1.isActive());
        QTRY_COMPARE_WITH_TIMEOUT(f.panel(2), QString("Ready"), 15000);

        // The call comes while the poll is held back, as when it comes just after a poll: by
        // the time the poll reads, several "+CLIP" lines are waiting, and each gets its "ATA\r".
        f.Timer1.stop();
        sim.command("call");
        QTRY_VERIFY_WITH_TIMEOUT(rig::countSimEvents(sim.events(), "ring") >= 2, 30000);
        f.Timer1.start();
        // "foto OK" stands only until the poll's next tick, which is due at once after a long
        // reception: qWaitFor looks after every pass of the event loop, QTRY only every 50 ms.
        QVERIFY2(QTest::qWaitFor([&] { return f.panel(2) == "foto OK"; }, 15000), qPrintable(f.panel(2)));
        log.note(f.panel(2));
        QVERIFY(log.sawInOrder({"Ready", "Звонок", "Прием фото", "foto OK"}));
        const QByteArray beforeData = rr.wire.received.left(rr.wire.received.indexOf("CONNECT 9600"));
        const int clips = int(beforeData.count("\n+CLIP:"));
        QVERIFY2(clips >= 2, "the call was answered before a second ring came");
        QCOMPARE(rr.wire.written, "AT+CRC=1\rAT+CLIP=1\r" + QByteArray("ATA\r").repeated(clips));
        bool incoming = false;
        for (const auto& e : sim.events())
            if (e.name == "connect") incoming = e.fields.value("kind") == "incoming";
        QVERIFY(incoming);

        CHECK(checkArchive(rr, a, sim.completePictures(), {1}));
        CHECK(checkNewestShown(rr));
        QCOMPARE(f.panel(0), sim.link());
        QTRY_COMPARE_WITH_TIMEOUT(f.panel(2), QString("Ready"), 15000);
        CHECK(checkIdle(rr));
    }

    // Several pictures in one call get N, N + 1, N + 2 and one event line; bytes around and
    // between them stay out. Real pictures (with an EXIF thumbnail, progressive) come through
    // byte for byte, after an archive that already holds five.
    void severalPicturesInOneCall_data() {
        QTest::addColumn<bool>("ownPictures");
        QTest::newRow("generated") << false;
        QTest::newRow("real pictures after five") << true;
    }
    void severalPicturesInOneCall() {
        QFETCH(bool, ownPictures);
        QTemporaryDir pics;
        QStringList options = QStringList{"--fast", "--pictures", "3"} + kQuick;
        if (ownPictures) {
            QByteArray third = rig::readFile(rig::sharedDir() + "/pictures/camera-exif-thumbnail-512x512.jpg");
            if (third.isEmpty()) {
                qWarning("../shared/pictures is not there: a made picture stands in for the camera's");
                third = rig::makeJpegWithThumbnail({512, 512, 80, false, 3});
            }
            options << "--picture" << writeTemp(pics, "a.jpg", rig::makeJpegWithThumbnail({320, 240, 75, false, 1}))
                    << "--picture" << writeTemp(pics, "b.jpg", rig::makeJpeg({640, 480, 75, true, 2})) << "--picture"
                    << writeTemp(pics, "c.jpg", third) << "--before"
                    << "UNIT\\r\\n"
                    << "--between"
                    << "\\r\\n"
                    << "--after"
                    << "\\r\\n";
        }
        rig::UnitSimProcess sim(options);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        Archive a{0, QDateTime::currentDateTime()};
        if (ownPictures) {
            // Five pictures from earlier runs.
            QDir().mkdir("foto");
            QList<QByteArray> old;
            for (int i = 0; i < 5; ++i) {
                const QByteArray name = "foto\\010203_040526f" + QByteArray::number(i);
                rig::writeFile(nativePath(name + ".jpg"), rig::makeJpeg({48, 32, 60, false, unsigned(10 + i)}));
                old << name;
            }
            rig::writeFile("files.txt", plat::StringList::format(old));
            rig::writeFile("events.txt", plat::StringList::format({"2," + old[0] + "," + old[1] + ",",
                                                                   "3," + old[2] + "," + old[3] + "," + old[4] + ","}));
            a.before = 5;
        }
        rr.build(sim.link());
        QCOMPARE(rr.form1->nfiles, a.before);

        rr.form1->ui->Button4->click();
        QCOMPARE(rr.form1->panel(2), QString("foto OK"));
        const QList<QByteArray> sent = sim.completePictures();
        QCOMPARE(sent.size(), 3);
        CHECK(checkArchive(rr, a, sent, {3}));
        CHECK(checkNewestShown(rr));
        CHECK(checkIdle(rr));
        if (ownPictures) {
            QCOMPARE(acq::stored(rr.form1->ListBox1.at(7)).size(), sent[2].size());
            QCOMPARE(acq::fileLines("events.txt").size(), 3);
        }
    }

    // The call drops in the middle of the second picture: the first is stored once, the cut
    // one not at all; the next call stores its two, and nothing is stored twice.
    void aCallDroppedInTheSecondPicture() {
        rig::UnitSimProcess sim(QStringList{"--fast", "--pictures", "2"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        const Archive a{0, QDateTime::currentDateTime()};

        sim.command("fault drop");
        rr.form1->ui->Button4->click();
        QCOMPARE(rr.form1->panel(2), QString("foto OK"));
        QCOMPARE(rr.form1->panel(0), sim.link());
        QCOMPARE(rig::countSimEvents(sim.events(), "picture", "status", "partial"), 1);
        CHECK(checkArchive(rr, a, sim.completePictures(), {1}));
        QVERIFY(rig::readFile("temp.dat").contains(sim.completePictures()[0]));

        rr.form1->ui->Button4->click();
        const QList<QByteArray> sent = sim.completePictures();
        QCOMPARE(sent.size(), 3);
        CHECK(checkArchive(rr, a, sent, {1, 2}));
        CHECK(checkNewestShown(rr));
        CHECK(checkIdle(rr));
    }

    // Garbled transfers: exactly the pictures that were sent whole are stored, and a transfer
    // that brought none says "Ошибка связи" and stores nothing.
    void garbledTransfers_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<int>("whole");
        QTest::newRow("the last picture cut short") << "truncate" << 3 << 2;
        QTest::newRow("line noise") << "noise" << 2 << 2;
        QTest::newRow("a NUL byte") << "nul" << 2 << 2;
        QTest::newRow("5000 bytes without a line feed") << "longline" << 2 << 2;
        QTest::newRow("the only picture cut short") << "truncate" << 1 << 0;
    }
    void garbledTransfers() {
        QFETCH(QString, fault);
        QFETCH(int, pictures);
        QFETCH(int, whole);
        rig::UnitSimProcess sim(QStringList{"--fast", "--pictures", QString::number(pictures), "--fault", fault} +
                                kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        const Archive a{0, QDateTime::currentDateTime()};

        rr.form1->ui->Button4->click();
        const QList<QByteArray> sent = sim.completePictures();
        QCOMPARE(sent.size(), whole);
        QCOMPARE(rr.form1->panel(2), whole > 0 ? QString("foto OK") : QString("Ошибка связи"));
        CHECK(checkArchive(rr, a, sent, whole > 0 ? QList<int>{whole} : QList<int>{}));
        QCOMPARE(acq::fileLines("events.txt").size(), whole > 0 ? 1 : 0);
        if (fault == "nul") QVERIFY(rig::readFile("temp.dat").contains('\0'));
        CHECK(checkNewestShown(rr));
        CHECK(checkIdle(rr));
    }

    // Ravlo killed (SIGKILL) in the middle of the second picture of a call. A second start in
    // the same folder meanwhile is refused and writes nothing. The next start takes the lock
    // left behind over, files the whole first picture once and shows it; the one after that
    // files nothing more.
    void killedInTheMiddleOfAPicture() {
        QTemporaryDir pics;
        const QByteArray first = rig::makeJpeg({64, 48, 60, false, 31});
        const QByteArray second = rig::makeJpeg({640, 480, 75, false, 32});  // half a minute at line rate
        rig::UnitSimProcess sim(QStringList{"--pictures", "2", "--picture", writeTemp(pics, "1.jpg", first),
                                            "--picture", writeTemp(pics, "2.jpg", second)} +
                                kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;  // only its working folder and platform: runProgram builds the windows
        rig::writeDefaultSettings();

        QProcess ravlo;
        startReceiver(ravlo, rr, sim);
        QVERIFY(ravlo.waitForStarted(10000));
        const auto cutOff = [&] {
            const QByteArray temp = rig::readFile("temp.dat");
            const qsizetype at = temp.indexOf(first);
            return at >= 0 && temp.size() > at + first.size() + 2048;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(cutOff(), "the program to be killed never got into the second picture", 60000);

        bool started = false;
        whenStarted([&](TForm1&) { started = true; });
        QCOMPARE(runProgram(rr.sys), 0);
        QVERIFY2(!started, "a second program ran in the folder");
        QCOMPARE(rr.ui.messages.size(), 1);
        QCOMPARE(rr.ui.messages[0].caption, QString("Ravlo"));
        QVERIFY(!QFile::exists("files.txt") && !QFile::exists("events.txt"));
        QCOMPARE(rr.store.saves, 0);
        rr.ui.messages.clear();

        ravlo.kill();
        QVERIFY(ravlo.waitForFinished(10000));
        QVERIFY2(!rig::readFile("temp.dat").contains(second), "the program was not killed in the second picture");
        QVERIFY(!QFile::exists("files.txt"));

        QString caption;
        whenStarted([&](TForm1& f) { caption = f.ui->Label2->text(); });
        QCOMPARE(runProgram(rr.sys), 0);
        QCOMPARE(rr.ui.messages.size(), 0);
        QCOMPARE(rr.ui.errors, QStringList());
        const QList<QByteArray> names = acq::fileLines("files.txt");
        QCOMPARE(names.size(), 1);
        QCOMPARE(acq::stored(names[0]), first);
        QCOMPARE(acq::fileLines("events.txt"), QList<QByteArray>{"1," + names[0] + ","});
        QCOMPARE(caption, QString::fromLatin1(names[0] + ".jpg"));

        whenStarted([](TForm1&) {});
        QCOMPARE(runProgram(rr.sys), 0);
        QCOMPARE(acq::fileLines("files.txt"), names);
        QCOMPARE(acq::fileLines("events.txt"), QList<QByteArray>{"1," + names[0] + ","});
        QCOMPARE(QDir("foto").entryList(QDir::Files).size(), 1);
        QCOMPARE(rr.ui.messages.size(), 0);
    }

    // The journal's line is on the disk when its call ends: Ravlo killed right after it finds
    // the line whole, and the next start shows that call as when the unit was last heard.
    void theJournalLineOutlivesAKill() {
        rig::UnitSimProcess sim(QStringList{"--fast"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rig::writeDefaultSettings();
        QProcess ravlo;
        startReceiver(ravlo, rr, sim);
        QVERIFY(ravlo.waitForStarted(10000));
        QTRY_VERIFY2_WITH_TIMEOUT(rig::readFile("calls.csv").contains("foto OK"), "no call ended", 60000);
        ravlo.kill();
        QVERIFY(ravlo.waitForFinished(10000));
        const auto calls = acq::journalCalls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].outcome, QString("foto OK"));
        QCOMPARE(calls[0].number, QByteArray("+79001112233"));
        QCOMPARE(calls[0].pictures.size(), 1);
        // The unit's name last, as the book names the settings' unit.
        QVERIFY(rig::readFile("calls.csv").endsWith(calls[0].pictures[0] + ';' + plat::toCp1251("Объект") + "\r\n"));

        QString heard;
        whenStarted([&](TForm1& f) { heard = f.ui->Label8->text(); });
        QCOMPARE(runProgram(rr.sys), 0);
        QCOMPARE(heard, "Был на связи:\n" + calls[0].start.toString("dd.MM.yyyy hh:mm:ss"));
    }

    // calls.csv as LibreOffice Calc opens it with ";" and Windows-1251, the rest of its text
    // import as the file alone gives it, and as its import window has it at first: the unit's
    // picture from "+7...", a voice call from "8..." let ring and a picture from a withheld
    // number keep their numbers as text, as they stand, and the voice call says "голосовой".
    void theJournalOpensInASpreadsheet() {
        const QString soffice = QStandardPaths::findExecutable("soffice");
        if (soffice.isEmpty()) {
            if (rig::sharedRequired()) QFAIL("soffice is not there (CI=true): calls.csv untested in a spreadsheet");
            QSKIP("soffice is not there (libreoffice-calc-nogui): calls.csv untested in a spreadsheet");
        }
        rig::UnitSimProcess sim(QStringList{"--fast", "--caller", "", "--voice-rings", "1"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        TForm1& f = *rr.form1;
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + sim.link());
        for (const QByteArray command : {"call +79001112233", "voice 89001112233", "call"}) {
            const qsizetype before = acq::journalCalls().size();
            sim.command(command);
            QVERIFY2(QTest::qWaitFor([&] { return acq::journalCalls().size() > before && !f.busy; }, 60000),
                     command.constData());
        }
        QStringList written;
        for (const journal::Call& c : acq::journalCalls())
            written << QString::fromLatin1(c.number) + ';' + c.what + ';' + c.outcome;
        QCOMPARE(written,
                 (QStringList{"+79001112233;снимок;foto OK", "89001112233;голосовой;не отвечен", ";снимок;foto OK"}));

        // Charset 34 is Windows-1251 to LibreOffice. Read back as UTF-8 with every text cell
        // quoted, so that a cell taken for a numeric value shows as one.
        const QStringList imports{"CSV:59,34,34", "CSV:44/59/9,34,34,1,,0,false,false,false,false,false,-1,false"};
        for (const QString& import : imports) {
            QTemporaryDir out;
            QProcess calc;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", out.path());
            calc.setProcessEnvironment(env);
            calc.setProcessChannelMode(QProcess::MergedChannels);
            calc.start(soffice, {"-env:UserInstallation=" + QUrl::fromLocalFile(out.filePath("profile")).toString(),
                                 "--headless", "--infilter=" + import, "--convert-to",
                                 "csv:Text - txt - csv (StarCalc):59,34,76,1,,0,true", "--outdir", out.path(),
                                 rr.work.file("calls.csv")});
            QVERIFY2(calc.waitForFinished(180000),
                     qPrintable("LibreOffice Calc did not end within 3 minutes: " + import));
            QVERIFY2(calc.exitStatus() == QProcess::NormalExit && calc.exitCode() == 0, calc.readAll().constData());
            QStringList numbers;
            for (const QByteArray& row : acq::fileLines(out.filePath("calls.csv")).mid(1)) {
                const QList<QByteArray> cells = row.split(';');
                numbers << QString::fromUtf8(cells.value(2)) + ';' + QString::fromUtf8(cells.value(3));
            }
            // The soft hyphen before a number is not drawn: the cells show "+7...", "8...".
            QCOMPARE(numbers, (QStringList{"\"\u00AD+79001112233\";\"снимок\"", "\"\u00AD89001112233\";\"голосовой\"",
                                           ";\"снимок\""}));
        }
    }

    // The modem goes away in the middle of the second picture (unitsim killed, at line speed):
    // the first picture is filed, the port is let go and the flags are free; once a modem is
    // back under the same name, Инициализ. opens the port again and pictures come in. The
    // same when it goes while only the poll reads.
    void thePortVanishesInAPicture() {
        QTemporaryDir pics;  // also holds the link, which outlives each unitsim
        const QString link = pics.filePath("modem");
        const QByteArray first = rig::makeJpeg({64, 48, 60, false, 21});
        const QByteArray second = rig::makeJpeg({64, 48, 60, false, 22});
        auto sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--pictures", "2", "--picture",
                                                                     writeTemp(pics, "1.jpg", first), "--picture",
                                                                     writeTemp(pics, "2.jpg", second)} +
                                                             kQuick,
                                                         link);
        QVERIFY(sim->ok());
        rig::RealRig rr;
        rr.build(link);
        TForm1& f = *rr.form1;

        // Pull the plug once half of the second picture has been read.
        QElapsedTimer sinceKill;
        rr.ui.onPump = [&] {
            const qsizetype start = rr.wire.received.indexOf("CONNECT 9600\r\n");
            if (sinceKill.isValid() || start < 0) return;
            if (rr.wire.received.size() - (start + 14) > first.size() + second.size() / 2) {
                sim->kill();
                sinceKill.start();
            }
        };
        f.ui->Button4->click();
        QVERIFY(sinceKill.isValid());
        QVERIFY2(sinceKill.elapsed() < 2000, "the reception ended long after the port went away");
        rr.ui.onPump = nullptr;

        QCOMPARE(f.panel(0), QString("err 2"));
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(f.portopen, 0);
        QVERIFY(!f.hcom);
        QCOMPARE(acq::fileLines("files.txt").size(), 1);
        QCOMPARE(acq::stored(acq::fileLines("files.txt")[0]), first);
        const QByteArray temp = rig::readFile("temp.dat");
        QVERIFY(temp.startsWith(first + second.left(second.size() / 2)));
        QVERIFY(!temp.contains(second));
        CHECK(checkIdle(rr));

        // Nothing there: Снимок reports the busy port and gives up at once.
        f.ui->Button4->click();
        QCOMPARE(rr.ui.messages.size(), 1);
        QCOMPARE(rr.ui.messages[0].caption, QString("Порт занят"));
        rr.ui.messages.clear();
        QCOMPARE(f.portopen, 0);

        sim.reset();
        sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--fast"} + kQuick, link);
        QVERIFY(sim->ok());
        QCOMPARE(sim->link(), link);

        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + link);
        QCOMPARE(f.portopen, 1);
        f.ui->Button4->click();
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(acq::fileLines("files.txt").size(), 2);
        QCOMPARE(acq::stored(acq::fileLines("files.txt")[1]), sim->completePictures().value(0));
        CHECK(checkNewestShown(rr));
        CHECK(checkIdle(rr));

        // Unplugged again while only the poll reads: it lets the port go without spinning.
        QVERIFY(f.Timer1.isActive());
        sim->kill();
        const rig::Cost cost = rig::measure([&] {
            // Until the poll lets the port go, its hang-up keeps the event loop busy; QTRY would
            // pump it for 50 ms at a stretch and count that, qWaitFor pumps one pass per 10 ms.
            QVERIFY2(QTest::qWaitFor([&] { return f.portopen == 0; }, 15000), "the port was not let go");
            QTest::qWait(1000);  // the poll goes on with the port let go
        });
        QVERIFY(!f.hcom);
        QVERIFY2(
            cost.cpu < 0.5,
            qPrintable(QString("a vanished port keeps a core busy: %1 s CPU in %2 s").arg(cost.cpu).arg(cost.wall)));
        sim.reset();
        sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--fast"} + kQuick, link);
        QVERIFY(sim->ok());
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + link);
        sim->command("call");
        // Looked at after every pass of the event loop: the next tick replaces "foto OK".
        QVERIFY2(QTest::qWaitFor([&] { return f.nfiles == 3; }, 15000), qPrintable(f.panel(2)));
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(acq::stored(acq::fileLines("files.txt")[2]), sim->completePictures().value(0));
        CHECK(checkIdle(rr));
    }

    // The modem restarts with its announcement, then without a word, then is unplugged and
    // put back: each time the station prepares it again by itself, once, without a box, and
    // the unit's next call is taken.
    void theStationKeepsItsModemPrepared() {
        rig::UnitSimProcess sim(QStringList{"--fast", "--rings", "4"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        rr.build(sim.link());
        TForm1& f = *rr.form1;
        const QByteArray prepare = "AT+CRC=1\rAT+CLIP=1\r";
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + sim.link());
        QVERIFY(rr.store.listen);
        const auto preparedTimes = [&](int n) {
            return QTest::qWaitFor([&] { return rr.wire.written.count(prepare) == n && !f.busy && !f.prepareDue; },
                                   30000);
        };
        const auto callTaken = [&](int files) {
            sim.command("call");
            return QTest::qWaitFor([&] { return f.nfiles == files && !f.busy; }, 30000);
        };

        sim.command("restart");
        QVERIFY2(preparedTimes(2), "not prepared again after the announcement");
        QVERIFY(callTaken(1));
        QCOMPARE(f.panel(0), sim.link());  // the announcement was no failed call

        sim.command("restart silent");
        sim.command("call");  // bare rings, no caller line: not answered
        QVERIFY2(preparedTimes(3), "not prepared again after rings without a caller line");
        QCOMPARE(f.nfiles, 1);
        QVERIFY(callTaken(2));

        sim.command("replug");
        QVERIFY2(preparedTimes(4), "not prepared again after the replug");
        QCOMPARE(f.panel(1), "Подключен " + sim.link());
        QVERIFY(callTaken(3));
        QCOMPARE(rr.wire.written.count(prepare), 4);
        QCOMPARE(sim.completePictures().size(), 3);
        CHECK(checkIdle(rr));
    }

    // A unit watched hourly whose last call lies two hours back is late at the start: the
    // station dials it, and the unit, silent, leaves each dial unanswered; it is silent in the
    // title and in station.csv. When it calls again it is back.
    void aSilentUnitIsCheckedThenHeardAgain() {
        rig::UnitSimProcess sim(QStringList{"--fast", "--silent-for", "600"} + kQuick);
        QVERIFY(sim.ok());
        rig::RealRig rr;
        const auto cp = [](const QString& text) { return plat::toCp1251(text); };
        rig::writeFile("units.csv", cp("Номер;Название;Комментарий;Интервал, ч;Проверка звонком\r\n"
                                       "+79001112233;Склад №2;;1;да\r\n"));
        journal::Journal before;
        QVERIFY(before.append({QDateTime::currentDateTime().addSecs(-2 * 3600),
                               journal::Direction::Incoming,
                               "+79001112233",
                               "снимок",
                               "foto OK",
                               5000,
                               {},
                               "Склад №2"}));
        rr.build(sim.link());
        TForm1& f = *rr.form1;
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + sim.link());
        QVERIFY(QTest::qWaitFor([&] { return !f.busy && !f.tmrstop; }, 5000));

        f.watch->supervise();
        QCOMPARE(rig::countSimEvents(sim.events(), "dial", "why", "silent"), 6);
        QCOMPARE(f.windowTitle(), QStringLiteral("Ravlo — молчит: Склад №2"));
        const QList<journal::Call> calls = acq::journalCalls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[1].what, QStringLiteral("проверка"));
        QCOMPARE(calls[1].outcome, QStringLiteral("Не связи с объектом"));
        const auto words = [] {
            QStringList all;
            for (const watch::Report& r : watch::StationLog().read()) all.append(watch::eventWord(r.event));
            return all;
        };
        QCOMPARE(words(), (QStringList{"проверка", "молчит"}));

        sim.command("silent 0");
        sim.command("call");
        QVERIFY2(QTest::qWaitFor([&] { return f.windowTitle() == QStringLiteral("Ravlo"); }, 30000),
                 qPrintable(f.windowTitle()));
        QCOMPARE(words(), (QStringList{"проверка", "молчит", "на связи"}));
        QCOMPARE(f.nfiles, 1);
        QCOMPARE(sim.completePictures().size(), 1);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (const QByteArray receiver = qgetenv("RAVLO_RECEIVER"); !receiver.isEmpty()) return runReceiver(receiver);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestReceptionUnitsim test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_reception_unitsim.moc"
