// Call control on the scripted line with the fake clock: Инициализ., the poll, Снимок,
// Отмена and closing, and the flags that keep them off each other.
#include "acquisition_rig.h"
#include "platform/picturepane.h"
#include "ui_tform1.h"

#include <QtTest>

namespace {

int countWrites(const fake::ScriptedLine& line, const QByteArray& prefix) {
    int n = 0;
    for (const auto& w : line.writes) n += w.startsWith(prefix) ? 1 : 0;
    return n;
}

}  // namespace

class TestCallControl : public QObject {
    Q_OBJECT

    struct Built : acq::Station {
        Built() : Station(false) {}
        bool idle() {
            return f().busy == 0 && f().tmrstop == 0 && f().dialed == 0 && !f().ui->CheckBox1->isChecked() &&
                   f().ui->Pbar1->isHidden();
        }
        // Инициализ. with a modem that answers; the poll is then driven by the test.
        void prepared() {
            line->afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
            f().Button3Click();
            QCOMPARE(f().panel(1), QString("Подключен COM1"));
            f().Timer1.stop();
        }
        // Polls until the script is played and a tick more, as the running timer would.
        void pollOut(int ticks = 30) {
            for (int i = 0; i < ticks; ++i) f().Timer1Timer();
        }
        // The unit calls, and the modem rings as a prepared one does: the call is answered.
        void unitCalls() {
            line->feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600()).feed(acq::picture(4));
            line->feed(acq::noCarrier());
        }
        // The unit answers the dial and sends one picture.
        void unitAnswers(const QByteArray& jpeg) {
            line->afterWrite("ATD")
                .feed("ATD\r\r\nCONNECT 9600\r\n")
                .afterWrite("foto1\r")
                .feed(jpeg)
                .feed(acq::noCarrier());
        }
    };

private slots:
    void initialiseTakesAnyReplyEvenError() {
        Built b;
        b.line->afterWrite("AT+CRC=1\r")
            .feed("AT+CRC=1\r\r\nERROR\r\n")
            .afterWrite("AT+CLIP=1\r")
            .feed("\r\nERROR\r\n");
        b.f().Button3Click();
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        QVERIFY(b.f().Timer1.isActive());
        QCOMPARE(b.f().portopen, 1);
        QCOMPARE(b.line->written, QByteArray("AT+CRC=1\rAT+CLIP=1\r"));
        QCOMPARE(b.line->purges, 3);  // one before each command, one after
        QVERIFY(b.idle());
        b.f().Timer1.stop();
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(2), QString("Ready"));

        // Again: the same two commands on the port already open. A cancel pressed while
        // nothing waited is not for this exchange.
        b.line->afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        b.f().BtOtmenaClick();
        b.f().Button3Click();
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        QCOMPARE(b.r.ports.creates, 1);
        QCOMPARE(b.line->written, QByteArray("AT+CRC=1\rAT+CLIP=1\r").repeated(2));
        QCOMPARE(b.f().readyshown, 0);
    }

    void initialiseFails() {
        Built b;
        b.line->afterWrite("AT+CRC=1\r").feed("OK\r\n");  // then silence for AT+CLIP=1
        const auto start = b.r.clock.t;
        b.f().Button3Click();
        QCOMPARE(b.f().panel(1), QString("Не подключен"));
        QVERIFY(!b.f().Timer1.isActive());
        QVERIFY(b.r.clock.t - start < 1100);
        QCOMPARE(b.f().portopen, 1);  // the port stays open
        QVERIFY(b.idle());

        Built held;
        held.line->openOk = false;
        held.f().Button3Click();
        QCOMPARE(held.f().panel(1), QString("Не подключен"));
        QCOMPARE(held.r.ui.messages.size(), 1);
        QCOMPARE(held.r.ui.messages[0].caption, QString("Порт занят"));
        QCOMPARE(held.f().portopen, 0);
        QVERIFY(held.idle());
        // The box says no more; panel 1's tool tip says why, from the system's error.
        QCOMPARE(held.f().ui->Panel1->toolTip(), QString("Порт COM1 занят другой программой"));
        Built denied;
        denied.line->openOk = false;
        denied.line->openFailure = {plat::OpenError::NoAccess, "dialout", "Permission denied"};
        denied.f().Button4Click();
        QCOMPARE(denied.r.ui.messages.size(), 1);
        QVERIFY2(denied.f().ui->Panel1->toolTip().contains("группе dialout"),
                 qPrintable(denied.f().ui->Panel1->toolTip()));
        // The station's own check says it in panel 2, with no box waiting for the operator.
        denied.r.ports.line().openOk = false;
        QCOMPARE(denied.f().check("+79001112233"), QStringLiteral("Порт не открывается, снимок не запрошен"));
        QCOMPARE(denied.f().panel(2), QStringLiteral("Порт не открывается, снимок не запрошен"));
        QCOMPARE(denied.r.ui.messages.size(), 1);
        // Once the port opens, the tool tip is the panel's text again.
        denied.r.ports.line().afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        denied.f().Button3Click();
        QCOMPARE(denied.f().ui->Panel1->toolTip(), QString("Подключен COM1"));
    }

    void aRecordedModemThatRefusesCallerNumbers() {
        REQUIRE_SHARED("the recorded transcript was not played");
        Built b;
        rig::scriptTranscript(*b.line, rig::loadTranscript(rig::sharedDir() + "/transcripts/prepare.txt"));
        b.f().Button3Click();
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
    }

    void snimokGivesUpAfterSixAttempts() {
        Built b;
        b.f().telobj.clear();
        // A reception started by the poll ends ("err 2"), and "Снимок" follows before the next tick.
        QVERIFY(b.f().setdcb());
        b.f().portopen = 1;
        b.line->feed(QByteArray("\r\n\0", 3));
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(0), QString("err 2"));
        b.line->afterWrite("ATD").feed("ATD\r\r\nNO CARRIER\r\n");  // the first refused at once
        const auto start = b.r.clock.t;
        const QDateTime pressed = acq::toSecond(b.r.clock.now());
        b.f().Button4Click();
        QCOMPARE(b.line->writes, QList<QByteArray>(6, "ATD\r"));
        QCOMPARE(b.status.withLast(b.r, 2), (QStringList{"Ready", "Набор номера", "Не связи с объектом"}));
        const auto took = b.r.clock.t - start;
        QVERIFY2(took > 5 * 60000 && took < 5 * 60000 + 2000, qPrintable(QString::number(took)));
        QCOMPARE(b.f().portopen, 1);
        QVERIFY(b.idle());
        // One line for the six attempts; the poll's failed reception was no call.
        const auto calls = acq::journalCalls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].direction, journal::Direction::Outgoing);
        QCOMPARE(calls[0].outcome, QString("Не связи с объектом"));
        QCOMPARE(calls[0].start, pressed);
        // Its result stays: the poll does not put "Ready" over it.
        b.f().Timer1Timer();
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(2), QString("Не связи с объектом"));
    }

    void snimokReceivesAPicture() {
        Built b;
        b.f().telobj = "+79001112233";
        const QByteArray jpeg = acq::picture(7);
        b.unitAnswers(jpeg);
        const QDateTime pressed = acq::toSecond(b.r.clock.now());
        b.f().Button4Click();
        QCOMPARE(b.line->written, QByteArray("ATD+79001112233\rfoto1\r"));
        QCOMPARE(b.status.withLast(b.r, 2), (QStringList{"Набор номера", "Прием фото", "foto OK"}));
        QCOMPARE(acq::stored(b.f().ListBox1.at(0)), jpeg);
        QVERIFY(b.idle());
        // The line names the unit as the book does: the settings' unit, "Объект" until renamed.
        journal::Call expected{pressed,   journal::Direction::Outgoing,          "+79001112233",         "снимок",
                               "foto OK", jpeg.size() + acq::noCarrier().size(), b.f().ListBox1.lines(), "Объект"};
        QCOMPARE(acq::journalCalls(), QList<journal::Call>{expected});
        QCOMPARE(b.f().ui->Label8->text(), "Был на связи:\n" + pressed.toString("dd.MM.yyyy hh:mm:ss"));
        // After Снимок the poll does not show "Ready" again.
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(2), QString("foto OK"));
        // The board of the units asks another unit the same way, by its own number.
        b.unitAnswers(acq::picture(8));
        QCOMPARE(b.f().snapshot("89161234567"), QString());
        QVERIFY(b.line->written.endsWith("ATD89161234567\rfoto1\r"));
        QCOMPARE(acq::journalCalls().value(1).number, QByteArray("89161234567"));
        QCOMPARE(b.f().ListBox2.count(), 2);
    }

    // Отмена stops Снимок: the dial under way is given up by the modem and nothing more is dialled.
    void cancelDuringTheThirdAttemptDialsNoMore() {
        Built b;
        const auto start = b.r.clock.t;
        b.line->afterWrite("ATD").afterWrite("ATD").afterWrite("ATD").silence(2000).then([&] {
            b.f().BtOtmenaClick();
        });
        b.line->afterWrite("\r").feed("\r\nNO CARRIER\r\n");
        b.unitAnswers(acq::picture(1));
        b.f().Button4Click();
        QCOMPARE(countWrites(*b.line, "ATD"), 3);
        QCOMPARE(b.line->writes.last(), QByteArray("\r"));
        QCOMPARE(b.f().panel(2), QString("Вызов отменён"));
        QCOMPARE(acq::journalCalls().value(0).outcome, QString("Вызов отменён"));
        QCOMPARE(b.f().otmena, 0);
        QVERIFY(b.idle());
        const auto took = b.r.clock.t - start;
        QVERIFY2(took > 2 * 60000 + 2000 && took < 2 * 60000 + 5000, qPrintable(QString::number(took)));
        // The modem's answer to the abort was taken by the exchange, not by the poll.
        b.pollOut(3);
        QVERIFY(!b.f().ui->CheckBox1->isChecked());
        QCOMPARE(b.f().panel(0), QString("COM1"));
    }

    // No exchange purges or writes into another that waits on the port, and the poll takes
    // no byte an exchange is waiting for.
    void exchangesStayOffEachOther() {
        Built b;
        // The poll and Снимок during Инициализ.: the modem's reply stays whole.
        b.line->afterWrite("AT+CRC=1\r").then([&] {
            b.f().Timer1Timer();
            b.f().Button4Click();
        });
        b.line->feed("OK\r\n").afterWrite("AT+CLIP=1\r").then([&] { b.f().Button3Click(); }).feed("OK\r\n");
        b.f().Button3Click();
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        QCOMPARE(b.line->written, QByteArray("AT+CRC=1\rAT+CLIP=1\r"));
        b.f().Timer1.stop();

        // The poll and Инициализ. during the dialling of Снимок.
        b.line->afterWrite("ATD").then([&] {
            b.f().Timer1Timer();
            b.f().Button3Click();
        });
        b.line->feed("CONNECT 9600\r\n").afterWrite("foto1\r").feed(acq::picture(1)).feed(acq::noCarrier());
        b.f().Button4Click();
        QCOMPARE(b.f().panel(2), QString("foto OK"));
        QCOMPARE(countWrites(*b.line, "AT+CRC"), 1);

        // Снимок and Инициализ. during a reception started by the poll.
        b.line->feed(acq::incomingCall()).then([&] {
            b.f().Button4Click();
            b.f().Button3Click();
        });
        b.line->afterWrite("ATA\r").feed(acq::connect9600()).feed(acq::picture(2)).feed(acq::noCarrier());
        b.f().Timer1Timer();
        QCOMPARE(b.f().ListBox2.count(), 2);
        QCOMPARE(countWrites(*b.line, "ATD"), 1);
        QCOMPARE(countWrites(*b.line, "AT+CRC"), 1);
        QVERIFY(b.idle());
    }

    // A modem that restarts, with its announcement or without a word, is prepared again once,
    // when nothing else uses the port, and the unit's next call is answered.
    void aRestartedModemIsPreparedAgain() {
        const QByteArray prepare = "AT+CRC=1\rAT+CLIP=1\r";
        Built b;
        b.prepared();
        b.line->written.clear();
        // The announcement comes while listening: the poll's byte starts a reception, which ends
        // quietly, as it is no call. A late line inside the preparation's own reply adds none.
        b.line->feed("\r\nRDY\r\n\r\n+CPIN: READY\r\n").silence(3000).feed("\r\nCall Ready\r\n\r\nSMS Ready\r\n");
        b.line->afterWrite("AT+CRC=1\r").feed("AT+CRC=1\r\r\nOK\r\n\r\nPB DONE\r\n");
        b.line->afterWrite("AT+CLIP=1\r").feed("AT+CLIP=1\r\r\nOK\r\n");
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(0), QString("COM1"));
        QVERIFY(b.f().prepareDue);
        b.pollOut(3);
        QCOMPARE(b.line->written, prepare);
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        b.unitCalls();
        b.pollOut();
        QCOMPARE(b.line->written, prepare + "ATA\r");
        QCOMPARE(b.f().ListBox2.count(), 1);

        // A silent restart: rings without any caller line. Prepared again once they stop.
        b.line->written.clear();
        b.line->feed("\r\nRING\r\n").silence(3000).feed("\r\nRING\r\n");
        b.line->afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(0), QString("err 1"));
        QVERIFY(b.line->written.isEmpty());
        b.unitCalls();
        b.pollOut();
        QCOMPARE(b.line->written, prepare + "ATA\r");
        QCOMPARE(b.f().ListBox2.count(), 2);
        // A call whose number is withheld still brings a caller line: nothing to prepare.
        b.line->written.clear();
        b.line->feed("\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"\",128,,128,\"\",1\r\n").afterWrite("ATA\r");
        b.pollOut();
        QCOMPARE(b.line->written, QByteArray("ATA\r"));

        // An announcement heard while "Снимок" dials: prepared after it, not in its middle.
        Built d;
        d.prepared();
        d.line->writes.clear();
        d.line->afterWrite("ATD").feed("ATD\r\r\n\r\n^SYSSTART\r\n\r\nCONNECT 9600\r\n");
        d.line->afterWrite("foto1\r").feed(acq::picture(5)).feed(acq::noCarrier());
        d.line->afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        d.f().Button4Click();
        QCOMPARE(d.f().panel(2), QString("foto OK"));
        QCOMPARE(countWrites(*d.line, "AT+CRC"), 0);
        d.pollOut(2);
        QCOMPARE(countWrites(*d.line, "AT+CRC"), 1);
        QCOMPARE(d.f().panel(2), QString("foto OK"));  // the station's own preparation keeps it
        QCOMPARE(countWrites(*d.line, "AT+CLIP"), 1);
        QVERIFY(d.idle());
    }

    // A modem unplugged and put back: the port is tried again a few seconds apart, without a
    // box, and the modem behind it is prepared. A start after a station that listened does the
    // same by itself.
    void aVanishedPortIsOpenedAgainAndPrepared() {
        Built b;
        b.prepared();
        b.line->vanish();
        b.f().Timer1Timer();  // the read finds the device gone
        QVERIFY(!b.f().hcom);
        b.r.ports.line().openOk = false;  // not back yet
        b.f().Timer1Timer();
        QCOMPARE(b.f().panel(1), QString("Нет модема"));
        QCOMPARE(b.r.ports.creates, 2);
        b.pollOut(5);  // a few ticks later: not tried again yet
        QCOMPARE(b.r.ports.creates, 2);
        fake::ScriptedLine& back = b.r.ports.line();
        back.afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        b.r.clock.advance(TForm1::kReopenMs);
        b.f().Timer1Timer();
        QCOMPARE(b.r.ports.creates, 3);
        QCOMPARE(back.written, QByteArray("AT+CRC=1\rAT+CLIP=1\r"));
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        QVERIFY(b.r.ui.messages.isEmpty());
        b.line = &back;
        b.unitCalls();
        b.pollOut();
        QCOMPARE(b.f().ListBox2.count(), 1);

        // Инициализ. remembers the port and that the station listened; a start after it
        // (the PC restarted, the program killed) prepares the modem at the first tick.
        QCOMPARE(b.r.store.value.value_or("-"), QString("COM1"));
        QVERIFY(b.r.store.listen);
        rig::Rig s;
        s.store.listen = true;
        s.store.value = "COM4";
        rig::writeDefaultSettings();
        s.build();
        QVERIFY(s.form1->Timer1.isActive());
        s.form1->Timer1.stop();
        s.line().afterWrite("AT+CRC=1\r").feed("OK\r\n").afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        s.form1->Timer1Timer();
        QCOMPARE(s.line().openedName, QString("COM4"));
        QCOMPARE(s.line().written, QByteArray("AT+CRC=1\rAT+CLIP=1\r"));
        QCOMPARE(s.form1->panel(1), QString("Подключен COM4"));
        // A station that never listened starts as before.
        Built n;
        QVERIFY(!n.f().Timer1.isActive());
        QCOMPARE(n.r.ports.creates, 0);
    }

    // A modem whose port is there before its firmware answers: the station tries again, 2 s and
    // then 5 s after the failures, and panel 1's tool tip says when; the operator can stop the
    // station listening, and it stays stopped.
    void aSilentModemIsTriedAgainUntilItAnswers() {
        rig::Rig s;
        s.store.listen = true;
        rig::writeDefaultSettings();
        s.build();
        TForm1& f = *s.form1;
        f.Timer1.stop();
        fake::ScriptedLine& l = s.line();
        l.afterWrite("AT+CRC=1\r").afterWrite("AT+CRC=1\r").afterWrite("AT+CRC=1\r").feed("OK\r\n");
        l.afterWrite("AT+CLIP=1\r").feed("OK\r\n");
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 1);
        QCOMPARE(f.panel(1), QString("Не подключен"));
        QVERIFY2(f.ui->Panel1->toolTip().contains("Следующая попытка в 14:05:1"), qPrintable(f.ui->Panel1->toolTip()));
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 1);
        s.clock.advance(2000);
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 2);
        s.clock.advance(2000);
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 2);  // the second pause is longer
        s.clock.advance(3000);
        f.Timer1Timer();
        QCOMPARE(l.written, QByteArray("AT+CRC=1\r").repeated(3) + "AT+CLIP=1\r");
        QCOMPARE(f.panel(1), QString("Подключен COM1"));
        QCOMPARE(f.ui->Panel1->toolTip(), QString("Подключен COM1"));
        s.clock.advance(120000);
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 3);

        // Panel 1's menu stops the station listening: nothing more goes to the modem, at any
        // announcement, and the next start does not listen.
        const QList<QAction*> menu = f.ui->Panel1->actions();
        QCOMPARE(menu.size(), 1);
        menu[0]->trigger();
        QVERIFY(!f.Timer1.isActive());
        QVERIFY(!s.store.listen);
        QCOMPARE(f.panel(1), QString("Звонки не принимаются"));
        l.feed("\r\nRDY\r\n");
        f.Timer1Timer();
        s.clock.advance(120000);
        f.Timer1Timer();
        QCOMPARE(countWrites(l, "AT+CRC"), 3);
    }

    // "Выход" while "Снимок" dials: the modem is told to give the call up before the program
    // ends. A connect that comes in the very pass of "Отмена" is the cancelled call's: its end
    // is awaited, and neither it nor its "NO CARRIER" shows an error or starts a reception.
    void aCancelledDialIsGivenUpAtTheModem() {
        Built b;
        b.f().show();
        b.line->afterWrite("ATD").silence(300).then([&] { b.f().Button2Click(); });
        b.f().Button4Click();
        QCOMPARE(b.line->writes, (QList<QByteArray>{"ATD+79001112233\r", "\r"}));
        QVERIFY(b.idle());

        Built c;
        c.prepared();
        c.line->afterWrite("ATD").feed("ATD+79001112233\r\r\n\r\nCONNECT 9600\r").then([&] { c.f().BtOtmenaClick(); });
        c.line->feed("\n").afterWrite("\r").silence(5000).feed(acq::noCarrier());
        c.f().Button4Click();
        QCOMPARE(c.line->writes.mid(2), (QList<QByteArray>{"ATD+79001112233\r", "\r"}));
        QCOMPARE(c.f().panel(2), QString("Вызов отменён"));
        QCOMPARE(c.f().panel(0), QString("COM1"));
        QVERIFY(c.line->scriptDone());
        c.pollOut(3);
        QCOMPARE(c.f().panel(0), QString("COM1"));
        QCOMPARE(c.line->writes.size(), 4);
        // Cut short by a second "Отмена", the wait leaves the call's end to the poll, which
        // takes it for the end of no call.
        Built d;
        d.prepared();
        d.line->afterWrite("ATD").feed("CONNECT 9600\r").then([&] { d.f().BtOtmenaClick(); }).feed("\n");
        d.line->afterWrite("\r").silence(200).then([&] { d.f().BtOtmenaClick(); }).silence(300).feed(acq::noCarrier());
        d.f().Button4Click();
        QCOMPARE(d.f().panel(2), QString("Вызов отменён"));
        d.pollOut(60);
        QVERIFY(d.line->scriptDone());
        QCOMPARE(d.f().panel(0), QString("COM1"));
        QCOMPARE(acq::journalCalls().size(), 1);
        QVERIFY(d.idle());
    }

    // A listening station asks once before "Выход" or the close box end it; "Нет" leaves it
    // open and listening. A station that does not listen, and a close that is not the
    // operator's (the end of the session), ask nothing.
    void onlyAListeningStationAsksBeforeItEnds() {
        Built b;
        b.prepared();
        b.f().show();
        QVERIFY(QTest::qWaitForWindowExposed(&b.f()));
        b.r.ui.replies = {false, false, true};
        b.f().Button2Click();
        QVERIFY(b.f().isVisible());
        // What the window manager's close box sends: a close to the native window, which the
        // widget gets as a spontaneous close.
        const auto closeBox = [&] {
            QCloseEvent close;
            QCoreApplication::sendEvent(b.f().windowHandle(), &close);
        };
        closeBox();
        QVERIFY(b.f().isVisible());
        QCOMPARE(b.f().panel(1), QString("Подключен COM1"));
        QCOMPARE(b.r.ui.questions.size(), 2);
        QCOMPARE(b.r.ui.questions[0].text, QString("Станция перестанет принимать звонки. Выйти?"));
        QCOMPARE(b.r.ui.questions[1].text, b.r.ui.questions[0].text);
        closeBox();  // "Да"
        QVERIFY(!b.f().isVisible());
        QCOMPARE(b.r.ui.questions.size(), 3);
        QVERIFY(QFile::exists("files.txt"));

        Built ended;  // listening, ended by the session
        ended.prepared();
        ended.f().show();
        ended.f().close();
        QVERIFY(!ended.f().isVisible());
        Built idle;  // not listening: one click
        idle.f().show();
        idle.f().Button2Click();
        QVERIFY(!idle.f().isVisible());
        QVERIFY(ended.r.ui.questions.isEmpty() && idle.r.ui.questions.isEmpty());
    }

    // "Снимок" pressed while a call is received dials nothing and says why; the reception
    // goes on to its end.
    void aPictureAskedForDuringAReceptionSaysWhyNot() {
        Built b;
        b.prepared();
        QString said;
        b.line->feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600()).then([&] {
            said = b.f().snapshot("+79005556677");
            QCOMPARE(b.f().panel(2), said);
        });
        b.line->feed(acq::picture(4)).feed(acq::noCarrier());
        b.pollOut();
        QCOMPARE(said, QString("Идёт приём звонка, снимок не запрошен"));
        QCOMPARE(countWrites(*b.line, "ATD"), 0);
        QCOMPARE(acq::journalCalls().size(), 1);
        QCOMPARE(acq::journalCalls()[0].outcome, QString("foto OK"));
    }

    // Closing the window while an exchange waits: every loop ends at once, no further attempt,
    // the lists are saved, and a picture that arrived is still filed.
    void closingEndsEveryWait() {
        Built b;
        b.f().show();
        b.line->afterWrite("ATD").silence(3000).then([&] { b.f().close(); });
        const auto start = b.r.clock.t;
        b.f().Button4Click();
        QVERIFY(b.r.clock.t - start < 3100);
        QCOMPARE(countWrites(*b.line, "ATD"), 1);
        QVERIFY(b.idle());
        QVERIFY(QFile::exists("files.txt"));

        Built c;
        c.f().show();
        const QByteArray jpeg = acq::picture(3);
        c.line->afterWrite("ATD").feed("CONNECT 9600\r\n").afterWrite("foto1\r").feed(jpeg).silence(500).then([&] {
            c.f().Button2Click();  // Выход
        });
        c.f().Button4Click();
        QVERIFY(!c.f().isVisible());
        QCOMPARE(c.f().panel(0), QString("err 3"));
        QCOMPARE(acq::fileLines("files.txt"), c.f().ListBox1.lines());
        QCOMPARE(acq::stored(c.f().ListBox1.at(0)), jpeg);
        QVERIFY(c.idle());
    }

    // However a handler ends, by a toolkit error included, its flags are released and the
    // poll goes on.
    void flagsAreReleasedWhenAStepFails() {
        Built b;
        QVERIFY(b.f().setdcb());
        b.f().portopen = 1;
        // Pictures listed whose files are gone: the four newest shown after the filing are
        // their marks and the new picture, with no box.
        b.f().ListBox1 = {"foto\\gone0", "foto\\gone1", "foto\\gone2"};
        b.f().nfiles = 3;
        b.line->feed(acq::incomingCall())
            .afterWrite("ATA\r")
            .feed(acq::connect9600())
            .feed(acq::picture(1))
            .feed(acq::noCarrier());
        b.f().handle([&] { b.f().Timer1Timer(); });
        QCOMPARE(b.f().ListBox1.count(), 4);
        QCOMPARE(b.r.ui.errors, QStringList());
        QCOMPARE(b.f().ui->Label2->text(), QString("foto\\gone0.jpg — нет файла"));
        QCOMPARE(b.f().ui->Image3->fault(), PicturePane::Fault::Missing);
        QCOMPARE(b.f().ui->Image4->fault(), PicturePane::Fault::None);
        QCOMPARE(b.f().ui->Label5->text(), QString::fromLatin1(b.f().ListBox1.at(3) + ".jpg"));
        QVERIFY(b.idle());

        // An error raised in the data phase once the unit's bytes are read, after Снимок and
        // from the poll.
        for (bool dialled : {true, false}) {
            Built c;
            QVERIFY(c.f().setdcb());
            c.f().portopen = 1;
            bool raise = true;
            c.r.ui.onPump = [&] {
                if (raise && c.f().panel(2) == "Прием фото" && c.line->scriptDone()) {
                    raise = false;
                    throw plat::ToolkitError("Cannot open file foto\\gone0.jpg");
                }
            };
            if (dialled) {
                c.unitAnswers(acq::picture(2));
                c.f().handle([&] { c.f().Button4Click(); });
            } else {
                c.line->feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600()).feed(acq::picture(2));
                c.f().handle([&] { c.f().Timer1Timer(); });
            }
            QCOMPARE(c.r.ui.errors, QStringList{"Cannot open file foto\\gone0.jpg"});
            QVERIFY(c.idle());
            // And the poll starts the next reception.
            c.line->feed(acq::incomingCall()).afterWrite("ATA\r").feed(acq::connect9600());
            c.line->feed(acq::picture(3)).feed(acq::noCarrier());
            c.f().Timer1Timer();
            QCOMPARE(c.f().panel(2), QString("foto OK"));
        }
    }

    // A late unit is checked on the line as "Снимок" asks it, the journal saying "проверка";
    // a check nobody answers makes it silent in the title, and its own call brings it back.
    void aLateUnitIsCheckedOnTheLine() {
        const auto late = [](fake::Clock& clock) { clock.advance((75 * 60 + 1) * 1000); };
        Built b;
        QVERIFY(b.f().watch->changeUnit(0, {"+79001112233", QStringLiteral("Склад №2"), {}, 1, true}).isEmpty());
        b.prepared();
        late(b.r.clock);
        const QByteArray jpeg = acq::picture(5);
        b.unitAnswers(jpeg);
        b.f().watch->supervise();
        QVERIFY(b.line->written.endsWith("ATD+79001112233\rfoto1\r"));
        journal::Call line = acq::journalCalls().value(0);
        QCOMPARE(line.what, QStringLiteral("проверка"));
        QCOMPARE(line.direction, journal::Direction::Outgoing);
        QCOMPARE(acq::stored(line.pictures.value(0)), jpeg);
        QCOMPARE(b.f().windowTitle(), QStringLiteral("Ravlo"));
        QVERIFY(b.idle());

        late(b.r.clock);
        b.line->afterWrite("ATD").feed("ATD\r\r\nNO CARRIER\r\n");  // then nothing: each dial times out
        b.f().watch->supervise();
        QCOMPARE(countWrites(*b.line, "ATD"), 7);
        line = acq::journalCalls().value(1);
        QCOMPARE(line.what, QStringLiteral("проверка"));
        QCOMPARE(line.outcome, QStringLiteral("Не связи с объектом"));
        QCOMPARE(b.f().windowTitle(), QStringLiteral("Ravlo — молчит: Склад №2"));
        QCOMPARE(b.r.notices.messages.last(),
                 QStringLiteral("«Склад №2» молчит: проверка звонком не удалась (Не связи с объектом)"));
        QVERIFY(b.idle());

        b.unitCalls();
        b.pollOut();
        QCOMPARE(b.f().ListBox2.count(), 2);
        QCOMPARE(b.f().windowTitle(), QStringLiteral("Ravlo"));
        QVERIFY(b.r.notices.messages.contains(QStringLiteral("«Склад №2» снова на связи")));
    }
};

QTEST_MAIN(TestCallControl)
#include "test_callcontrol.moc"
