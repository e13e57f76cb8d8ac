// The reception on the scripted line with the fake clock: the answer phase of an incoming
// call, the data phase, temp.dat, and what gets filed.
#include "acquisition_rig.h"
#include "platform/picturepane.h"
#include "ui_tform1.h"

#include <QDir>
#include <QtTest>

using rig::Rig;

class TestReception : public QObject {
    Q_OBJECT

    // The port open and listening, the poll about to find the unit calling.
    struct Listening : acq::Station {
        Listening() : Station(true) {}
        // One tick of the poll; the reception runs inside it.
        void poll() { f().Timer1Timer(); }
        // A reception after this program's own dial, as Снимок hands it over.
        void dialled() {
            f().dialed = 1;
            f().ui->Pbar1->show();
            f().readbuf();
            f().dialed = 0;
        }
        bool idle() {
            return f().busy == 0 && f().tmrstop == 0 && !f().ui->CheckBox1->isChecked() && f().ui->Pbar1->isHidden();
        }
    };

private slots:
    // The unit calls: ring, caller number, answer, connect, one picture, the call ends.
    void anIncomingCallStepByStep() {
        Listening l;
        const QByteArray jpeg = acq::picture(1);
        l.line->feed(acq::incomingCall())
            .afterWrite("ATA\r")
            .feed(acq::connect9600())
            .feed(jpeg)
            .feed(acq::noCarrier());
        l.poll();
        QCOMPARE(l.status.withLast(l.r, 2), (QStringList{"Ready", "Звонок", "Прием фото", "foto OK"}));
        QCOMPARE(l.line->written, QByteArray("ATA\r"));
        QCOMPARE(l.line->purges, 0);  // the answer does not purge
        QCOMPARE(rig::readFile("temp.dat"), jpeg + acq::noCarrier());
        QCOMPARE(l.f().ListBox1.count(), 1);
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), jpeg);
        QCOMPARE(acq::fileLines("files.txt"), l.f().ListBox1.lines());
        QCOMPARE(acq::fileLines("events.txt"), QList<QByteArray>{"1," + l.f().ListBox1.at(0) + ","});
        QCOMPARE(l.f().panel(0), QString("COM1"));
        QVERIFY(l.idle());
        QCOMPARE(l.f().readyshown, 0);
        l.poll();
        QCOMPARE(l.f().panel(2), QString("Ready"));
    }

    // The poll's byte is the first byte of the first line, so a ring without the blank line
    // before it is still seen.
    void thePollsByteStartsTheFirstLine() {
        Listening l;
        l.line->feed("+CRING: REL ASYNC\r\n");
        l.poll();
        QVERIFY(l.status.texts.contains("Звонок"));
        // Rings that stop without a caller number: 10 s after the last line the call is given up.
        QCOMPARE(l.f().panel(0), QString("err 1"));
        QVERIFY(l.line->written.isEmpty());
        QVERIFY(l.idle());
    }

    void answerPhaseLines_data() {
        QTest::addColumn<QByteArray>("modem");
        QTest::addColumn<bool>("cancel");  // Отмена once the lines are read
        QTest::addColumn<QString>("panel0");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("received");  // the data phase was reached
        QTest::addColumn<QString>("entry");  // the journal's: number;what;outcome;pictures
        const QByteArray call = acq::incomingCall();
        const QString unit = "+79001112233;", other = "+79005556677;";
        QTest::newRow("two caller lines, two answers")
            << call + "\r\n+CLIP: \"+79001112233\",145\r\n" + acq::connect9600() << false << "COM1"
            << QByteArray("ATA\rATA\r") << true << QString(unit + "снимок;foto OK;1");
        QTest::newRow("OK and anything after it")
            << QByteArray("OK\r\nOKAY, fine\r\n") + call + "CONNECT 14400\r\n"
            << false << "COM1" << QByteArray("ATA\r") << true << QString(unit + "снимок;foto OK;1");
        QTest::newRow("rings only") << QByteArray("\r\n+CRING: REL ASYNC\r\n\r\n+CRING: REL ASYNC\r\n") << false
                                    << "err 1" << QByteArray() << false << QString(";данные;не отвечен;0");
        QTest::newRow("bare rings only") << QByteArray("\r\nRING\r\n\r\nRING\r\n") << false << "err 1" << QByteArray()
                                         << false << QString(";звонок;не отвечен;0");
        QTest::newRow("NUL byte") << QByteArray("\r\n+CR\0ING\r\n", 11) + call << false << "err 2" << QByteArray()
                                  << false << QString();
        QTest::newRow("NO CARRIER") << call + "\r\nNO CARRIER\r\n"
                                    << false << "err 2" << QByteArray("ATA\r") << false
                                    << QString(unit + "снимок;err 2;0");
        QTest::newRow("ERROR") << call + "\r\nERROR\r\n"
                               << false << "err 4" << QByteArray("ATA\r") << false << QString(unit + "снимок;err 4;0");
        QTest::newRow("cancel") << call << true << "err 3" << QByteArray("ATA\r") << false
                                << QString(unit + "снимок;err 3;0");
        // Only data calls are answered; the others ring on and end quietly, and a data call
        // after them is taken. A bare RING cannot tell and is answered.
        const QByteArray clip = "\r\n+CLIP: \"+79005556677\",145\r\n";
        const QByteArray voice = "\r\n+CRING: VOICE\r\n" + clip;
        QTest::newRow("voice call") << voice + voice << false << "COM1" << QByteArray() << false
                                    << QString(other + "голосовой;не отвечен;0");
        QTest::newRow("voice call ended by NO CARRIER")
            << voice + "\r\nNO CARRIER\r\n"
            << false << "COM1" << QByteArray() << false << QString(other + "голосовой;не отвечен;0");
        QTest::newRow("fax call") << "\r\n+CRING: FAX\r\n" + clip << false << "COM1" << QByteArray() << false
                                  << QString(other + "факс;не отвечен;0");
        QTest::newRow("GPRS request") << "\r\n+CRING: GPRS \"IP\",\"10.1.2.3\"\r\n" + clip << false << "COM1"
                                      << QByteArray() << false << QString(other + "GPRS;не отвечен;0");
        QTest::newRow("alternating voice first") << "\r\n+CRING: ALT VOICE/ASYNC\r\n" + clip << false << "COM1"
                                                 << QByteArray() << false << QString(other + "голосовой;не отвечен;0");
        QTest::newRow("voice, then the unit") << voice + call + acq::connect9600() << false << "COM1"
                                              << QByteArray("ATA\r") << true << QString(unit + "снимок;foto OK;1");
        QTest::newRow("bare RING with its caller")
            << "\r\nRING\r\n" + clip + acq::connect9600() << false << "COM1" << QByteArray("ATA\r") << true
            << QString(other + "снимок;foto OK;1");
        QTest::newRow("voice call cancelled")
            << voice << true << "err 3" << QByteArray() << false << QString(other + "голосовой;не отвечен;0");
        QTest::newRow("caller line shorter than its prefix")
            << QByteArray("\r\n+CLI\n") + acq::connect9600() << false << "COM1" << QByteArray() << true
            << QString(";снимок;foto OK;1");
    }
    void answerPhaseLines() {
        QFETCH(QByteArray, modem);
        QFETCH(bool, cancel);
        QFETCH(QString, panel0);
        QFETCH(QByteArray, written);
        QFETCH(bool, received);
        QFETCH(QString, entry);
        Listening l;
        l.line->feed(modem);
        if (cancel) l.line->silence(2000).then([&] { l.f().BtOtmenaClick(); });
        // Past the answer window: nothing after a failure is taken for a line.
        l.line->silence(10500).feed(acq::picture(1)).feed(acq::noCarrier());
        l.poll();
        QCOMPARE(l.f().panel(0), panel0);
        QCOMPARE(l.line->written, written);
        QCOMPARE(l.status.texts.contains("Прием фото"), received);
        QCOMPARE(l.f().ListBox1.count(), received ? 1 : 0);
        QCOMPARE(l.f().otmena, 0);
        QVERIFY(l.idle());
        // One line in the journal for a call, none for lines that were no call.
        const QList<QByteArray> journal = acq::fileLines("calls.csv");
        QCOMPARE(journal.size(), entry.isEmpty() ? 0 : 2);
        if (entry.isEmpty()) return;
        const auto c = journal::parseLine(journal[1]);
        QVERIFY(c);
        QCOMPARE(c->direction, journal::Direction::Incoming);
        const QStringList seen = {QString::fromLatin1(c->number), c->what, c->outcome,
                                  QString::number(c->pictures.size())};
        QCOMPARE(seen.join(';'), entry);
        QCOMPARE(c->pictures, l.f().ListBox1.lines());
        QCOMPARE(c->bytes > 0, received);
    }

    // Panel 2 says what rang, and keeps saying it after the ringing stopped.
    void aCallThatIsNotTheUnitsIsShown() {
        Listening l;
        l.line->feed("\r\n+CRING: VOICE\r\n\r\n+CLIP: \"+79005556677\",145\r\n");
        l.poll();
        QCOMPARE(l.f().panel(2), QString("Голосовой звонок 14:05"));
        QVERIFY(l.idle());
        l.poll();
        QCOMPARE(l.f().panel(2), QString("Голосовой звонок 14:05"));
        QVERIFY(!l.f().prepareDue);
    }

    // The 10 s window restarts at every completed line: a ring every 9 s keeps the call.
    void theAnswerWindowRestartsAtEveryLine() {
        Listening l;
        for (int i = 0; i < 5; ++i) l.line->feed("\r\n+CRING: REL ASYNC\r\n").silence(9000);
        l.line->feed("+CLIP: \"1\"\r\n")
            .silence(9500)
            .feed(acq::connect9600())
            .feed(acq::picture(1))
            .feed(acq::noCarrier());
        l.poll();
        QCOMPARE(l.f().panel(2), QString("foto OK"));
        QCOMPARE(l.f().panel(0), QString("COM1"));
        // One more second of silence after a line is too much.
        Listening m;
        m.line->feed("\r\n+CRING: REL ASYNC\r\n").silence(10100).feed(acq::incomingCall());
        const auto start = m.r.clock.t;
        m.poll();
        QCOMPARE(m.f().panel(0), QString("err 1"));
        QVERIFY(m.r.clock.t - start < 10200);
    }

    void progressShowsTheShareOfEachTimeout() {
        Listening l;
        int answer = -1, data = -1;
        l.line->feed("\r\n").silence(5000).then([&] { answer = l.f().ui->Pbar1->value(); });
        l.line->feed(acq::incomingCall() + acq::connect9600());
        l.line->silence(40000).then([&] { data = l.f().ui->Pbar1->value(); }).feed(acq::noCarrier());
        l.poll();
        QVERIFY2(answer >= 49 && answer <= 50, qPrintable(QString::number(answer)));
        QVERIFY2(data >= 49 && data <= 50, qPrintable(QString::number(data)));
        QVERIFY(l.f().ui->Pbar1->isHidden());
    }

    // A line feed followed by "NO CA" ends the data phase, even inside picture data; what
    // arrived up to there is filed.
    void noCarrierInsidePictureDataEndsThePhase() {
        Listening l;
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        // Line feeds and near misses inside the data do not end it.
        const QByteArray before = a + "\nNO C\nxNO CA\n" + b.left(300);
        l.line->feed(before + "\nNO CARRIER\r\n" + b.mid(300));
        l.dialled();
        QCOMPARE(rig::readFile("temp.dat"), before + "\nNO CARRIER\r\n");
        QCOMPARE(l.f().ListBox1.count(), 1);
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), a);
        QCOMPARE(l.f().panel(2), QString("foto OK"));
        QCOMPARE(l.f().panel(0), QString("COM1"));
    }

    void theDataPhaseEnds_data() {
        QTest::addColumn<int>("how");  // 0 time-out, 1 cancel
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("panel0");
        QTest::addColumn<QString>("panel2");
        QTest::newRow("80 s pass after a picture") << 0 << true << "COM1"
                                                   << "foto OK";
        QTest::newRow("80 s pass in the middle of one") << 0 << false << "COM1"
                                                        << "Ошибка связи";
        QTest::newRow("cancel after a picture") << 1 << true << "err 3"
                                                << "foto OK";
        QTest::newRow("cancel in the middle of one") << 1 << false << "err 3"
                                                     << "Ошибка связи";
    }
    void theDataPhaseEnds() {
        QFETCH(int, how);
        QFETCH(bool, complete);
        QFETCH(QString, panel0);
        QFETCH(QString, panel2);
        Listening l;
        const QByteArray jpeg = acq::picture(3);
        const QByteArray sent = complete ? jpeg : jpeg.left(jpeg.size() / 2);
        l.line->feed(sent).silence(1000);
        if (how == 1) l.line->then([&] { l.f().BtOtmenaClick(); });
        const auto start = l.r.clock.t;
        l.dialled();
        const auto took = l.r.clock.t - start;
        if (how == 0) QVERIFY2(took > 80000 && took < 80100, qPrintable(QString::number(took)));
        else QVERIFY(took < 10000);
        QCOMPARE(l.f().linkerr, how == 0 ? 1 : 3);
        QCOMPARE(l.f().panel(0), panel0);
        QCOMPARE(l.f().panel(2), panel2);
        QCOMPARE(rig::readFile("temp.dat"), sent);
        QCOMPARE(l.f().ListBox1.count(), complete ? 1 : 0);
        // The journal gives both panels' word on a cancelled phase.
        const auto c = journal::parseLine(acq::fileLines("calls.csv").value(1));
        QVERIFY(c);
        QCOMPARE(c->outcome, how == 1 ? panel2 + ", err 3" : panel2);
        QCOMPARE(c->bytes, sent.size());
    }

    // A phase in which nothing arrives files nothing: not the previous transfer again.
    void anEmptyPhaseFilesNothing() {
        Listening l;
        l.line->feed(acq::picture(1)).feed(acq::noCarrier());
        l.dialled();
        QCOMPARE(l.f().ListBox2.count(), 1);
        l.dialled();  // the unit sends nothing this time
        QCOMPARE(l.f().panel(2), QString("Ошибка связи"));
        QCOMPARE(l.f().ListBox1.count(), 1);
        QCOMPARE(l.f().ListBox2.count(), 1);
        QCOMPARE(rig::readFile("temp.dat"), QByteArray());
        QCOMPARE(QDir("foto").entryList(QDir::Files).size(), 1);
    }

    // Pictures stored while the operator works in another window draw his eye: the window
    // asks for attention, and the tray icon, where the desktop has a tray, says how many came.
    void newPicturesAreAnnouncedOutsideTheWindow_data() {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<int>("alerts");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("another window, tray") << false << true << 1 << QStringList{"Новые фото: 2"};
        QTest::newRow("another window, no tray") << false << false << 1 << QStringList{};
        QTest::newRow("this window") << true << true << 0 << QStringList{};
    }
    void newPicturesAreAnnouncedOutsideTheWindow() {
        QFETCH(bool, active);
        QFETCH(bool, tray);
        QFETCH(int, alerts);
        QFETCH(QStringList, messages);
        Rig r;
        r.notices.windowActive = active;
        r.notices.tray = tray;
        QDir().mkdir("foto");
        acq::openPort(r);
        QCOMPARE(r.notices.trayShown, tray);
        r.line().feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600());
        r.line().feed(acq::picture(1) + acq::picture(2)).feed(acq::noCarrier());
        r.form1->Timer1Timer();
        QCOMPARE(r.form1->ListBox1.count(), 2);
        QCOMPARE(r.notices.alerts, alerts);
        QCOMPARE(r.notices.messages, messages);
        if (tray) QCOMPARE(r.notices.tip, QString("COM1 | foto OK"));  // panel 1 is empty
        // A call that stores nothing is no news.
        r.line().feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600()).feed(acq::noCarrier());
        r.form1->Timer1Timer();
        QCOMPARE(r.form1->panel(2), QString("Ошибка связи"));
        QCOMPARE(r.notices.alerts, alerts);
        QCOMPARE(r.notices.messages, messages);
    }

    // temp.dat cannot be written: the picture is filed from what arrived, never from an
    // earlier transfer, and the failure shows.
    void aTempDatThatCannotBeWrittenStillFilesWhatArrived() {
        Listening l;
        QVERIFY(QDir().mkdir("temp.dat"));
        const QByteArray jpeg = acq::picture(5);
        l.line->feed("\r\n" + jpeg).feed(acq::noCarrier());
        l.dialled();
        QCOMPARE(l.f().panel(0), QString("err 0"));
        QCOMPARE(l.f().panel(2), QString("foto OK"));
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), jpeg);
    }

    // temp.dat grows with every byte: it holds the whole phase so far at any moment.
    void tempDatHoldsThePhaseSoFar() {
        Listening l;
        const QByteArray jpeg = acq::picture(6);
        QByteArray seen;
        l.line->feed(jpeg.left(1000))
            .then([&] { seen = rig::readFile("temp.dat"); })
            .feed(jpeg.mid(1000))
            .feed(acq::noCarrier());
        l.dialled();
        QCOMPARE(seen, jpeg.left(1000));
        QCOMPARE(rig::readFile("temp.dat"), jpeg + acq::noCarrier());
    }

    // More than fotobuf holds: every byte still reaches temp.dat, the buffer never overflows,
    // the end of the call is still seen, and filing takes what fits.
    void aPhaseLongerThanTheBuffer() {
        Listening l;
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        QByteArray stream = a + QByteArray(TForm1::kFotobufSize, '\x55') + b + acq::noCarrier();
        // A line faster than the modem's: the scripted one takes 1 ms a byte, so the clock is
        // set back once to keep the phase within its 80 s.
        l.line->feed(stream.left(60000))
            .then([&] { l.r.clock.t -= 50000; })
            .feed(stream.mid(60000))
            .feed("more after the end");
        l.dialled();
        QCOMPARE(rig::readFile("temp.dat"), stream);
        QCOMPARE(l.f().nfoto, TForm1::kFotobufSize);
        QCOMPARE(l.f().ListBox1.count(), 1);
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), a);
        QCOMPARE(l.f().linkerr, 0);  // ended by the call's end, not by the time-out
    }

    // The operator keeps a box open for 100 s in the middle of the data phase (its pump is
    // held that long): the bytes that came meanwhile wait in the port, and the phase goes on
    // to the call's end instead of giving up at 80 s.
    void aModalWindowDoesNotUseUpTheWait() {
        Listening l;
        const QByteArray a = acq::picture(1), b = acq::picture(2);
        l.line->feed(a + b + acq::noCarrier());
        int pumps = 0;
        l.r.ui.onPump = [&] {
            if (++pumps == 500) l.r.clock.advance(100000);
        };
        l.dialled();
        QCOMPARE(l.f().linkerr, 0);
        QCOMPARE(l.f().ListBox1.count(), 2);
        QCOMPARE(acq::stored(l.f().ListBox1.at(1)), b);

        // A pump held only briefly is ordinary work and still counts.
        Listening m;
        m.line->silence(79600);
        m.line->feed(acq::noCarrier());
        pumps = 0;
        m.r.ui.onPump = [&] {
            if (++pumps == 10) m.r.clock.advance(450);
        };
        m.dialled();
        QCOMPARE(m.f().linkerr, 1);  // the call's end came after 80 s of counted time
    }

    // The port goes away in the middle: the wait ends at once, and what arrived is filed.
    void aVanishedPortEndsTheWait() {
        Listening l;
        const QByteArray a = acq::picture(1);
        l.line->feed(a + acq::picture(2).left(500)).vanish();
        const auto start = l.r.clock.t;
        l.dialled();
        QVERIFY(l.r.clock.t - start < 10000);
        QCOMPARE(l.f().panel(0), QString("err 2"));
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), a);
        QVERIFY(!l.f().hcom);
        QCOMPARE(l.f().portopen, 0);

        Listening m;
        m.line->feed(acq::incomingCall()).vanish();
        m.poll();
        QCOMPARE(m.f().panel(0), QString("err 2"));
        QVERIFY(m.idle());
    }

    // Failed reads that are not a vanished port count as empty ones: no line is handled twice.
    void failedReadsAreEmptyReads() {
        Listening l;
        l.line->feed(acq::incomingCall()).failReads(30).afterWrite("ATA\r").feed(acq::connect9600());
        l.line->failReads(30).feed(acq::picture(1)).feed(acq::noCarrier());
        l.poll();
        QCOMPARE(l.line->written, QByteArray("ATA\r"));
        QCOMPARE(l.f().panel(2), QString("foto OK"));
    }

    // The modem transcript of a dialled picture: the cut of the unit's stream is filed.
    void aRecordedDialledPicture() {
        REQUIRE_SHARED("the recorded transcript was not played");
        const QString shared = rig::sharedDir();
        const auto events = rig::loadTranscript(shared + "/transcripts/dial-picture.txt");
        QVERIFY(events.size() >= 4);
        Listening l;
        l.f().telobj = "+79001112233";
        // From the dial on; what the unit sent after the request is the stream of the transfer.
        qsizetype dial = 0;
        while (dial < events.size() && !events[dial].bytes.startsWith("ATD")) ++dial;
        rig::scriptTranscript(*l.line, events.mid(dial));
        l.f().handle([&] { l.f().Button4Click(); });
        QByteArray stream;
        bool requested = false;
        for (const auto& e : events) {
            if (e.fromPc) requested = e.bytes == "foto1\r";
            else if (requested) stream += e.bytes;
        }
        QVERIFY(stream.startsWith("UNIT\r\n"));
        QCOMPARE(rig::readFile("temp.dat"), stream);
        QCOMPARE(l.f().panel(2), QString("foto OK"));
        const qsizetype s = stream.indexOf("\xff\xd8"), e = stream.lastIndexOf("\xff\xd9");
        QCOMPARE(acq::stored(l.f().ListBox1.at(0)), stream.mid(s, e + 2 - s));
        // The recording leaves out most of the picture data, so the stored picture does not
        // decode: its pane shows the mark under a caption that says so, with no box, and the
        // flags are free again.
        QCOMPARE(l.r.ui.errors, QStringList());
        QCOMPARE(l.f().ui->Image1->fault(), PicturePane::Fault::Unreadable);
        QCOMPARE(l.f().ui->Label2->text(), QString::fromLatin1(l.f().ListBox1.at(0)) + ".jpg — не читается");
        QCOMPARE(l.f().busy + l.f().tmrstop + l.f().dialed, 0);
    }
};

QTEST_MAIN(TestReception)
#include "test_reception.moc"
