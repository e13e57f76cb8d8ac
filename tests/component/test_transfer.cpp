// The settings transfer on the scripted line with the fake clock: the link by cable or by a
// dialled call, then the items in lock-step, checked byte for byte on the wire.
#include "acquisition_rig.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QtTest>

using rig::Rig;

namespace {

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }
const QByteArray kOk = "OK\r\n";

struct Transfer {
    Rig r;
    fake::ScriptedLine& line;
    explicit Transfer(const QByteArray& t1 = {}) : line(r.ports.line()) {
        rig::writeDefaultSettings();
        if (!t1.isEmpty()) rig::writeFile("t1.txt", t1);
        r.clock.base = QDateTime(QDate(2026, 12, 7), QTime(13, 45, 2));
        r.build();
    }
    Ui::TForm2& d() { return *r.form2->ui; }
    // Answers the next n items with "OK".
    Transfer& answer(int n) {
        for (int i = 0; i < n; ++i) line.afterWrite("").feed(kOk);
        return *this;
    }
    // Opens the settings dialog from the main window, lets prepare change it, and closes it
    // with the given button.
    void run(QPushButton* Ui::TForm2::*button, std::function<void(Ui::TForm2&)> prepare = {}) {
        rig::whenModal([this, button, prepare](QWidget* w) {
            if (prepare) prepare(d());
            (d().*button)->click();
            if (w->isVisible()) static_cast<QDialog*>(w)->done(0);  // a button that did not close
        });
        r.form1->Button1Click();
    }
    QString status() const { return r.form1->panel(2); }
    bool progressHidden() const { return r.form1->ui->Pbar1->isHidden(); }
};

QByteArray hex(const QByteArray& b) { return b.toHex(' '); }

}  // namespace

class TestTransfer : public QObject {
    Q_OBJECT
private slots:
    void cableTransferSendsEveryItemInOrder() {
        Transfer t(lines({"+7123", "", "+79001110001", "+7"}));
        t.line.afterWrite("BC\r").feed("\r\nOK\r\n");
        t.answer(13);
        t.run(&Ui::TForm2::Btpryam, [](Ui::TForm2& d) { d.ComboBox1->setCurrentIndex(0); });
        const QList<QByteArray> w = t.line.writes;
        QCOMPARE(w.size(), 14);
        QCOMPARE(w[0], QByteArray("BC\r"));
        QCOMPARE(w[1], QByteArray("time \r"));
        QCOMPARE(hex(w[2]), QByteArray("02 45 13 07 12 26 31 31 01 01"));
        QCOMPARE(w.mid(3, 5), (QList<QByteArray>{"internet\r", "user\r", "pass\r", "2\r", "2\r"}));
        QCOMPARE(w[8], QByteArray("cam@example.ru\r"));
        QCOMPARE(hex(w[9]), QByteArray("a7 12 3b 01 01 01 01 01 0d"));
        QCOMPARE(hex(w[10]), QByteArray("b0 01 01 01 01 01 01 01 0d"));
        QCOMPARE(hex(w[11]), QByteArray("a7 90 01 11 00 01 b0 01 0d"));
        QCOMPARE(hex(w[12]), QByteArray("a7 b0 01 01 01 01 01 01 0d"));
        QCOMPARE(w[13], QByteArray("0333\r"));
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
        QVERIFY(t.progressHidden());
        // The link is left as it is: the port open, no hang-up.
        QCOMPARE(t.r.form1->portopen, 1);
        QVERIFY(t.r.form1->hcom);
        QCOMPARE(t.r.form1->busy + t.r.form1->tmrstop, 0);
        // The clock record carries the saved resolution.
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("1"));
        const journal::Call cable{
            t.r.clock.base, journal::Direction::Cable, {}, "установки", "Установки успешно переданы"};
        QCOMPARE(acq::journalCalls(), QList<journal::Call>{cable});
    }

    void resolutionCodeFollowsThePicker_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("640x480") << 2 << QByteArray("33 33");
        QTest::newRow("320x240") << 1 << QByteArray("32 32");
        QTest::newRow("nothing picked") << -1 << QByteArray("31 31");
    }
    void resolutionCodeFollowsThePicker() {
        QFETCH(int, item);
        QFETCH(QByteArray, code);
        Transfer t;
        t.answer(14);
        t.run(&Ui::TForm2::Btpryam, [item](Ui::TForm2& d) { d.ComboBox1->setCurrentIndex(item); });
        QCOMPARE(hex(t.line.writes.value(2)).mid(18, 5), code);
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
    }

    void presetOperatorsSendOneForEachGprsText() {
        Transfer t;
        t.answer(14);
        t.run(&Ui::TForm2::Btpryam, [](Ui::TForm2& d) { d.Rbgprs1->click(); });
        QCOMPARE(t.line.writes.mid(3, 4), (QList<QByteArray>{"1\r", "1\r", "1\r", "1\r"}));
    }

    void cyrillicTextGoesAsWindows1251Bytes() {
        Transfer t;
        t.answer(14);
        t.run(&Ui::TForm2::Btpryam, [](Ui::TForm2& d) {
            d.Edit5->setText(QStringLiteral("камера@почта.рф"));
            d.Edit4->clear();
        });
        QCOMPARE(t.line.writes.value(5), QByteArray("1\r"));
        QCOMPARE(t.line.writes.value(8), plat::toCp1251(QStringLiteral("камера@почта.рф")) + "\r");
        QCOMPARE(t.line.writes.value(8).at(0), char(0xEA));
    }

    void simSettingsEndTheTransferAfterSevenItems() {
        Transfer t;
        t.answer(14);
        t.run(&Ui::TForm2::Btpryam, [](Ui::TForm2& d) { d.Cbsim->setChecked(true); });
        QCOMPARE(t.line.writes.size(), 1 + 7);
        QCOMPARE(t.line.writes.last(), QByteArray("1\r"));
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
    }

    void onlyOkLinksTheCable() {
        Transfer t;
        t.line.afterWrite("BC\r").feed("CONNECT 9600\r\n");
        t.line.afterWrite("BC\r").feed("OKAY\r\n");  // any line beginning "OK"
        t.answer(13);
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.line.writes.count("BC\r"), 2);
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
    }

    void tenHandshakesWithoutOkGiveUp() {
        Transfer t;
        QStringList seen;
        for (int i = 0; i < 10; ++i) t.line.afterWrite("BC\r").then([&] { seen << t.status(); });
        const auto start = t.r.clock.t;
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.line.writes.count("BC\r"), 10);
        QCOMPARE(t.line.writes.size(), 10);
        QCOMPARE(seen.mid(1), (QStringList{"Попытка2", "Попытка3", "Попытка4", "Попытка5", "Попытка6", "Попытка7",
                                           "Попытка8", "Попытка9", "Попытка10"}));
        QCOMPARE(t.status(), QString("Устройство не подключено"));
        const auto took = t.r.clock.t - start;  // ten waits of 6 s, nothing in between
        QVERIFY2(took > 60000 && took < 60400, qPrintable(QString::number(took)));
        QVERIFY(t.progressHidden());
    }

    void dialAttemptsFollowEachOtherWithoutPause() {
        Transfer t;
        const QByteArray atd = "ATD+79001112233\r";
        QStringList seen;
        QList<std::uint32_t> at;
        const QList<QByteArray> replies = {"\r\nNO CARRIER\r\n", "\r\nERROR\r\n",      "\r\nOK\r\n",
                                           "\r\nBUSY\r\n",       "\r\nNO CARRIER\r\n", "\r\nNO CARRIER\r\n"};
        for (const QByteArray& reply : replies) {
            t.line.afterWrite(atd).then([&] {
                seen << t.status();
                at << t.r.clock.t;
            });
            if (!reply.contains("BUSY")) t.line.feed(reply);
        }
        t.run(&Ui::TForm2::Button1);
        QCOMPARE(t.line.writes, QList<QByteArray>(6, atd));
        QCOMPARE(seen, (QStringList{"Набор номера", "Попытка2", "Попытка3", "Попытка4", "Попытка5", "Попытка6"}));
        QCOMPARE(t.status(), QString("Не связи с объектом"));
        // Only the silent attempt waits its 60 s; the next command follows the reply at once.
        QVERIFY(at[1] - at[0] < 100 && at[2] - at[1] < 100 && at[3] - at[2] < 100 && at[5] - at[4] < 100);
        QVERIFY(at[4] - at[3] >= 60000);
        QVERIFY(t.progressHidden());
        const auto calls = acq::journalCalls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].direction, journal::Direction::Outgoing);
        QCOMPARE(calls[0].number, QByteArray("+79001112233"));
        QCOMPARE(calls[0].outcome, QString("Не связи с объектом"));
    }

    void dialledTransferStartsAtConnect() {
        Transfer t;
        t.line.afterWrite("ATD+79001112233\r").feed("\r\nNO CARRIER\r\n");
        t.line.afterWrite("ATD+79001112233\r").feed("ATD+79001112233\r\r\nCONNECT 9600\r\n");
        t.answer(13);
        t.run(&Ui::TForm2::Button1, [](Ui::TForm2& d) { d.Edit1->setText("+79001112233"); });
        QCOMPARE(t.line.writes.size(), 2 + 13);
        QCOMPARE(t.line.writes[2], QByteArray("time \r"));
        // While the items go, the status keeps the last text of the link phase.
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
        QCOMPARE(t.r.form1->ui->Label7->text(), QString("+79001112233"));
        QCOMPARE(acq::journalCalls().value(0).outcome, QString("Установки успешно переданы"));
    }

    void cancelEndsTheLinkLoopBeforeTheNextAttempt() {
        Transfer t;
        t.line.afterWrite("ATD").then([&] { t.r.form1->BtOtmenaClick(); });
        t.run(&Ui::TForm2::Button1);
        // The modem is told to give up the dial: any character does.
        QCOMPARE(t.line.writes.size(), 2);
        QCOMPARE(t.line.writes[1], QByteArray("\r"));
        QCOMPARE(t.status(), QString("Попытка2"));
        QVERIFY(t.progressHidden());
        QCOMPARE(acq::journalCalls().value(0).outcome, QString("не передано, err 3"));

        Transfer c;
        c.line.afterWrite("BC\r").feed("BUSY\r\n").then([&] { c.r.form1->BtOtmenaClick(); });
        c.run(&Ui::TForm2::Btpryam);
        QCOMPARE(c.line.writes, QList<QByteArray>{"BC\r"});
        QCOMPARE(c.status(), QString("Попытка2"));
    }

    void aRefusedItemStopsTheRestWithAnEmptyStatus() {
        Transfer t;
        t.r.form1->setPanel(2, "Ready");
        t.answer(3);
        t.line.afterWrite("internet\r").feed("\r\nERROR\r\n");
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.line.writes.size(), 4);
        QCOMPARE(t.status(), QString());
        QVERIFY(t.progressHidden());
        QCOMPARE(acq::journalCalls().value(0).outcome, QString("не передано"));
    }

    void aCancelDuringAnItemStopsTheTransfer() {
        Transfer t;
        t.answer(3);
        t.line.afterWrite("").then([&] { t.r.form1->BtOtmenaClick(); });
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.line.writes.size(), 4);
        QCOMPARE(t.status(), QString());
    }

    void anUnansweredTimeRequestFails() {
        Transfer t;
        t.answer(1);
        t.line.afterWrite("time \r").feed("ERROR\r\n");
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.line.writes.size(), 2);
        QCOMPARE(t.status(), QString("Передать не удалось"));

        Transfer s;  // silence: the 10 s run out
        s.answer(1);
        s.run(&Ui::TForm2::Btpryam);
        QCOMPARE(s.line.writes.size(), 2);
        QCOMPARE(s.status(), QString("Передать не удалось"));
        QCOMPARE(s.r.form1->linkerr, 1);
    }

    void keepingOrCancellingSendsNothingButShowsTheNumber() {
        Transfer t;
        t.r.form1->ui->Label7->setText("stale");
        t.run(&Ui::TForm2::Button3);  // Отмена
        QCOMPARE(t.r.form1->ui->Label7->text(), QString("+79001112233"));
        t.run(&Ui::TForm2::Button2, [](Ui::TForm2& d) { d.Edit1->setText("+79005550000"); });  // Запомнить
        QCOMPARE(t.r.form1->ui->Label7->text(), QString("+79005550000"));
        t.run(&Ui::TForm2::Button4);  // Прямое чтен.
        QCOMPARE(t.r.ports.creates, 0);
        QVERIFY(t.line.writes.isEmpty());
        QVERIFY(!QFile::exists(journal::file));
        QVERIFY(t.progressHidden());
    }

    void aPortThatCannotBeOpenedSendsNothing() {
        Transfer t;
        t.line.openOk = false;
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(t.r.ui.messages.size(), 1);
        QCOMPARE(t.r.ui.messages[0].caption, QString("Порт занят"));
        QCOMPARE(t.r.ports.creates, 1);  // the refused line is gone: nothing could be written
        QCOMPARE(t.r.form1->portopen, 0);
        QVERIFY(t.progressHidden());
        QCOMPARE(t.r.form1->busy, 0);
    }

    void theTransferHoldsTheGuardFlagsForItsWholeRun() {
        Transfer t;
        QList<int> held;
        QString nested;
        t.answer(1);
        t.line.afterWrite("time \r").then([&] {
            held << t.r.form1->busy << t.r.form1->tmrstop << int(!t.progressHidden());
            // A second "Установки" meanwhile saves its dialog but stays off the port.
            rig::whenModal([&](QWidget*) { t.d().Btpryam->click(); });
            t.r.form1->Button1Click();
            held << t.r.form1->busy << t.r.form1->tmrstop << int(!t.progressHidden());
            nested = t.status();
        });
        t.line.feed(kOk);
        t.answer(12);
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(held, (QList<int>{1, 1, 1, 1, 1, 1}));
        QCOMPARE(nested, QString("Линия занята, не передано"));
        QCOMPARE(t.line.writes.count("BC\r"), 1);
        QCOMPARE(t.line.writes.size(), 14);
        QCOMPARE(t.status(), QString("Установки успешно переданы"));
        QCOMPARE(t.r.form1->busy + t.r.form1->tmrstop, 0);
    }

    void aRunningReceptionKeepsTheTransferOffThePort() {
        Transfer t;
        t.r.form1->busy = 1;  // a reception or "Снимок" is running
        t.r.form1->tmrstop = 1;
        t.run(&Ui::TForm2::Btpryam, [](Ui::TForm2& d) { d.Edit2->setText("saved anyway"); });
        QCOMPARE(t.r.ports.creates, 0);
        QCOMPARE(t.status(), QString("Линия занята, не передано"));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(1), QByteArray("saved anyway"));
        // The flags belong to the running operation.
        QCOMPARE(t.r.form1->busy, 1);
        QCOMPARE(t.r.form1->tmrstop, 1);
    }

    void aNumberTooLongForThePackedFormStillGoesAsNineBytes() {
        Transfer t(lines({"+7900111223344556", "", "", ""}));
        t.answer(14);
        t.run(&Ui::TForm2::Btpryam);
        QCOMPARE(hex(t.line.writes.value(9)), QByteArray("a7 90 01 11 22 33 44 5b 0d"));
        for (int i = 9; i <= 12; ++i) QCOMPARE(t.line.writes.value(i).size(), 9);
    }

    void closingTheWindowEndsTheDialling() {
        Transfer t;
        t.line.afterWrite("ATD").then([&] { t.r.form1->close(); });
        t.run(&Ui::TForm2::Button1);
        // No second attempt; the modem is told to give the call up before the program ends.
        QCOMPARE(t.line.writes.size(), 2);
        QCOMPARE(t.line.writes.last(), QByteArray("\r"));
        QVERIFY(t.progressHidden());
    }
};

QTEST_MAIN(TestTransfer)
#include "test_transfer.moc"
