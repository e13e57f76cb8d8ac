// The settings transfer end to end: the settings dialog filled in and closed as an operator
// does, the real serial layer and clock, and the simulated unit as a separate process on a
// pseudo-terminal, whose settings report says what the unit decoded from the wire.
#include "settings_report.h"
#include "unitsim_process.h"

#include "config/tform2.h"
#include "config/tform3.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImageReader>
#include <QtTest>
#include <algorithm>

namespace {

using Report = rig::SimReport;

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }

// Writes a line the unit ignores and waits until the unit has logged it. Everything the
// program wrote before has then been read, so what the log says of those bytes is final.
bool unitHasReadAll(rig::RealRig& rr, const rig::UnitSimProcess& sim) {
    static const char kMark[] = "drained\r";
    if (!rr.form1->wrport(kMark, int(sizeof kMark) - 1)) return false;
    return QTest::qWaitFor(
        [&] {
            const auto events = sim.events();
            return std::any_of(events.begin(), events.end(), [](const rig::SimEvent& e) {
                return e.name.endsWith("-ignored") && e.fields.value("line").endsWith("drained");
            });
        },
        30000);
}

// What the operator does in the settings dialog before closing it.
struct Entry {
    QString phone = QStringLiteral("+79001112233");
    bool otherOperator = true;
    QString apn = QStringLiteral("internet.beeline.ru"), user, pass = QStringLiteral("gdata");
    bool simSettings = false;
    QString email = QStringLiteral("камера@почта.рф");
    int resolution = 2;  // the picker's item
    int editRow = -1;    // a phone row edited through the phone dialog, or -1
    QString rowNumber;
    int rowLevel = 0;
};

}  // namespace

class TestTransferUnitsim : public QObject {
    Q_OBJECT

    // A double click on phone row `row` of the settings dialog opens the phone dialog, in which
    // `fill` runs.
    static void editPhoneRow(TForm2& form2, TForm3& form3, int row, std::function<void()> fill) {
        QTreeWidget& list = *form2.ui->ListView1;
        const QPoint at = list.visualItemRect(list.topLevelItem(row)).center();
        rig::whenModal([fill](QWidget*) { fill(); }, &form3);
        // A widget's double click event alone is taken for a press: the click first.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }

    // Opens the settings from the main window, fills them in as `e` says and closes the
    // dialog with "Прямая зап." (cable) or "Удал. запись" (dialled).
    static void transfer(rig::RealRig& rr, const Entry& e, bool dialled) {
        TForm2& form2 = rr.program->form2;
        TForm3& form3 = rr.program->form3;
        rig::whenModal(
            [&, e, dialled](QWidget*) {
                auto& d = *form2.ui;
                d.Edit1->setText(e.phone);
                (e.otherOperator ? d.Rbgprs2 : d.Rbgprs1)->setChecked(true);
                if (e.otherOperator) {
                    d.Edit2->setText(e.apn);
                    d.Edit3->setText(e.user);
                    d.Edit4->setText(e.pass);
                }
                d.Cbsim->setChecked(e.simSettings);
                d.Edit5->setText(e.email);
                d.ComboBox1->setCurrentIndex(e.resolution);
                if (e.editRow >= 0) {
                    editPhoneRow(form2, form3, e.editRow, [&form3, e] {  // the number typed
                        form3.ui->Edit1->selectAll();
                        QTest::keyClicks(form3.ui->Edit1, e.rowNumber);
                        form3.ui->Comb->setCurrentIndex(e.rowLevel);
                        form3.ui->Button1->click();
                    });
                }
                (dialled ? d.Button1 : d.Btpryam)->click();
            },
            &form2);
        rr.form1->handle([&] { rr.form1->Button1Click(); });
    }

    // Once unitsim is up: the settings files written (t2.txt as given) and the program built
    // on unitsim's line.
    static bool setUp(const rig::UnitSimProcess& sim, rig::RealRig& rr,
                      const QList<QByteArray>& t2 = {"0", "3", "2", "1"}) {
        if (!sim.ok()) return false;
        rig::writeFile("u.txt",
                       lines({"+79001112233", "internet", "user", "pass", "cam@example.ru", "", "", "2", "2", "2"}));
        rig::writeFile("t1.txt", lines({"+79001110000", "", "*100", "+7123"}));
        rig::writeFile("t2.txt", lines(t2));
        rr.build(sim.link());
        return true;
    }

    // The clock record as the unit read it lies between two readings of the PC's clock.
    static void checkClock(const Report& report, const QDateTime& before, const QDateTime& after) {
        QCOMPARE(report.value("clock_valid"), QByteArray("1"));
        const QDateTime sent =
            QDateTime::fromString(QString::fromLatin1(report.value("clock")), QStringLiteral("hh:mm:ss dd.MM.yy"))
                .addYears(100);
        QVERIFY2(sent.isValid(), report.value("clock").constData());
        const QDateTime from = before.addMSecs(-before.time().msec());  // the record has whole seconds
        QVERIFY2(sent >= from && sent <= after,
                 qPrintable(sent.toString() + " not in " + from.toString() + " .. " + after.toString()));
    }

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    // By cable: the full record reaches the unit as the dialog saved it, a Cyrillic e-mail in
    // Windows-1251, an empty user name as "1", a phone row edited in the phone dialog.
    void cableTransferReachesTheUnit() {
        rig::UnitSimProcess sim({"--fast", "--cable"});
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr));
        Entry e;
        e.editRow = 1;
        e.rowNumber = QStringLiteral("+79005550101");
        e.rowLevel = 2;
        const QDateTime before = QDateTime::currentDateTime();
        transfer(rr, e, false);
        const QDateTime after = QDateTime::currentDateTime();

        QCOMPARE(rr.form1->panel(2), QString("Установки успешно переданы"));
        QVERIFY(rr.form1->ui->Pbar1->isHidden());
        QCOMPARE(rr.ui.messages.size() + rr.ui.errors.size(), 0);
        const Report report = sim.report();
        QCOMPARE(report.value("via"), QByteArray("cable"));
        CHECK(rig::checkTransferred(report, 13));
        const Report want = rig::expectedReport();
        // The saved files hold what was entered, so the comparison above covers the entry.
        QCOMPARE(want.value("email"), plat::toCp1251(QStringLiteral("камера@почта.рф")));
        QCOMPARE(want.value("user"), QByteArray("1"));
        QCOMPARE(want.value("oper"), QByteArray("2"));
        QCOMPARE(want.value("tel2"), QByteArray("+79005550101"));
        QCOMPARE(want.value("tel3"), QByteArray("*100"));
        QCOMPARE(want.value("levels"), QByteArray("0221"));
        for (const char* k : {"tel1_valid", "tel2_valid", "tel3_valid", "tel4_valid"})
            QCOMPARE(report.value(k), QByteArray("1"));
        QCOMPARE(report.value("picture_size"), QByteArray("640x480"));
        checkClock(report, before, after);
        // Nothing arrived outside the exchange.
        QCOMPARE(rig::countSimEvents(sim.events(), "unit-ignored"), 0);
    }

    // Dialled: the preset operators send "1" for the access point, user and password, empty
    // levels arrive as "1". The call then stands until the unit hangs up; the poll takes the
    // modem's NO CARRIER for the end of a call that is not one of its own, without an error and
    // without filing anything, and a picture asked for afterwards comes at the resolution just
    // sent.
    void dialledTransferThenTheUnitHangsUp() {
        rig::UnitSimProcess sim({"--fast", "--dial-delay", "200", "--idle-hangup", "1500"});
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr, {"", "", "", ""}));
        TForm1& f = *rr.form1;
        f.handle([&] { f.Button3Click(); });  // Инициализ.: the poll runs from here on
        QVERIFY2(f.panel(1).startsWith("Подключен"), qPrintable(f.panel(1)));
        QVERIFY(f.Timer1.isActive());

        Entry e;
        e.phone = QStringLiteral("+79005556677");
        e.otherOperator = false;
        e.resolution = 1;
        const QDateTime before = QDateTime::currentDateTime();
        transfer(rr, e, true);
        const QDateTime after = QDateTime::currentDateTime();

        QCOMPARE(f.panel(2), QString("Установки успешно переданы"));
        QVERIFY(f.ui->Pbar1->isHidden());
        QCOMPARE(f.telobj, QByteArray("+79005556677"));
        const auto events = sim.events();
        QCOMPARE(rig::countSimEvents(events, "dial"), 1);
        QCOMPARE(rig::countSimEvents(events, "dial", "number", "+79005556677"), 1);
        const Report report = sim.report();
        QCOMPARE(report.value("via"), QByteArray("call"));
        CHECK(rig::checkTransferred(report, 13));
        const Report want = rig::expectedReport();
        for (const char* k : {"apn", "user", "pass", "levels"}) QCOMPARE(want.value(k), QByteArray("1"));
        QCOMPARE(want.value("oper"), QByteArray("1"));
        QCOMPARE(report.value("picture_size"), QByteArray("320x240"));
        checkClock(report, before, after);

        // No hang-up after the transfer: the unit ends the call by itself.
        QCOMPARE(rig::countSimEvents(sim.events(), "call-end"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig::countSimEvents(sim.events(), "call-end"), 1, 15000);
        // unitsim logs the call's end once its "\r\nNO CARRIER\r\n" is on the line. The poll,
        // which reads whenever no exchange holds the port, takes the first byte for the start
        // of a call; the answer phase reads NO CARRIER with no ring before it, the end of no
        // call of its own. No data phase runs, no error stays behind the transfer that
        // succeeded, and the tick after it says "Ready" again.
        QTRY_COMPARE_WITH_TIMEOUT(f.panel(2), QString("Ready"), 15000);
        QCOMPARE(f.panel(0), f.portname);
        QCOMPARE(f.nfiles, 0);
        QCOMPARE(QDir("foto").entryList(QDir::Files), QStringList());
        QCOMPARE(rr.ui.messages.size() + rr.ui.errors.size(), 0);

        // "Снимок" still works, and the picture has the resolution the settings set.
        f.handle([&] { f.Button4Click(); });
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(f.nfiles, 1);
        const QStringList sent = QDir(sim.savedDir()).entryList(QDir::Files);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(QImageReader(QDir(sim.savedDir()).filePath(sent[0])).size(), QSize(320, 240));
    }

    // With the SIM card's settings the exchange ends after seven items.
    void simSettingsSendSevenItems() {
        rig::UnitSimProcess sim({"--fast", "--cable"});
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr));
        Entry e;
        e.simSettings = true;
        transfer(rr, e, false);
        QCOMPARE(rr.form1->panel(2), QString("Установки успешно переданы"));
        const Report report = sim.report();
        CHECK(rig::checkTransferred(report, 7));
        QCOMPARE(report.value("sim"), QByteArray("1"));
        QVERIFY(!report.contains("email") && !report.contains("tel1") && !report.contains("levels"));
        QCOMPARE(rig::countSimEvents(sim.events(), "unit-ignored"), 0);
    }

    // Text pasted into a field with its line break (copied as a whole line from elsewhere)
    // stays one line: in the files, where a break would shift every later line, and on the
    // wire, where it would split one item in two and put the exchange out of step.
    void pastedLineBreaksStayOneLine() {
        rig::UnitSimProcess sim({"--fast", "--cable"});
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr));
        TForm2& form2 = rr.program->form2;
        TForm3& form3 = rr.program->form3;
        const auto paste = [](QLineEdit* edit, const QString& text) {
            QApplication::clipboard()->setText(text);
            edit->selectAll();
            edit->paste();
        };
        rig::whenModal(
            [&](QWidget*) {
                auto& d = *form2.ui;
                d.Rbgprs2->setChecked(true);
                paste(d.Edit2, QStringLiteral("internet.mts.ru\r\n"));
                paste(d.Edit3, QStringLiteral("mts\rmts"));
                paste(d.Edit5, QStringLiteral("cam@example.ru\n"));
                editPhoneRow(form2, form3, 3, [&] {
                    paste(form3.ui->Edit1, QStringLiteral("+79001234567\r\n"));
                    form3.ui->Button1->click();
                });
                d.Btpryam->click();
            },
            &form2);
        rr.form1->handle([&] { rr.form1->Button1Click(); });

        QCOMPARE(rr.form1->panel(2), QString("Установки успешно переданы"));
        const auto u = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(u.size(), 10);
        QCOMPARE(u.mid(1, 4), (QList<QByteArray>{"internet.mts.ru", "mtsmts", "pass", "cam@example.ru"}));
        QCOMPARE(u.mid(7), (QList<QByteArray>{"2", "2", "2"}));
        const auto t1 = plat::StringList::parse(rig::readFile("t1.txt"));
        QCOMPARE(t1, (QList<QByteArray>{"+79001110000", "", "*100", "+79001234567"}));
        CHECK(rig::checkTransferred(sim.report(), 13));
        QCOMPARE(rig::countSimEvents(sim.events(), "unit-ignored"), 0);
    }

    // An item the unit refuses ends the transfer: nothing after it is sent.
    void refusedItemStopsTheRest_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("acknowledged");
        QTest::addColumn<QString>("panel");
        QTest::newRow("time") << "time" << 0 << "Передать не удалось";
        QTest::newRow("clock") << "clock" << 1 << "";
        QTest::newRow("pass") << "pass" << 4 << "";
        QTest::newRow("tel2") << "tel2" << 9 << "";
        QTest::newRow("levels") << "levels" << 12 << "";
    }
    void refusedItemStopsTheRest() {
        QFETCH(QString, item);
        QFETCH(int, acknowledged);
        QFETCH(QString, panel);
        rig::UnitSimProcess sim({"--fast", "--cable", "--settings-fault", item + ":error"});
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr));
        transfer(rr, Entry{}, false);
        QCOMPARE(rr.form1->panel(2), panel);
        QVERIFY(rr.form1->ui->Pbar1->isHidden());
        const Report report = sim.report();
        QCOMPARE(report.value("complete"), QByteArray("0"));
        QCOMPARE(report.value("failed_item"), item.toLatin1());
        QCOMPARE(report.value("acknowledged"), QByteArray::number(acknowledged));
        // Whatever came after the refusal would reach the unit outside an exchange.
        QVERIFY2(unitHasReadAll(rr, sim), "the unit never read the marker line");
        QCOMPARE(rig::countSimEvents(sim.events(), "unit-ignored"), 1);                  // the marker
        QCOMPARE(rig::countSimEvents(sim.events(), "settings-item"), acknowledged + 2);  // "BC" and the refused one
    }

    // Ten refused handshakes end the cable link; six failed dials the dialled one. Neither
    // begins an exchange.
    void linkThatNeverComesUp_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("dialled");
        QTest::addColumn<QByteArray>("attempt");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("panel");
        QTest::newRow("cable") << QStringList{"--cable", "--settings-fault", "bc:error"} << false
                               << QByteArray("settings-item") << 10 << "Устройство не подключено";
        QTest::newRow("dialled") << QStringList{"--dial-result", "no-carrier", "--dial-delay", "50"} << true
                                 << QByteArray("dial") << 6 << "Не связи с объектом";
    }
    void linkThatNeverComesUp() {
        QFETCH(QStringList, options);
        QFETCH(bool, dialled);
        QFETCH(QByteArray, attempt);
        QFETCH(int, attempts);
        QFETCH(QString, panel);
        rig::UnitSimProcess sim(QStringList{"--fast"} + options);
        rig::RealRig rr;
        QVERIFY(setUp(sim, rr));
        QElapsedTimer t;
        t.start();
        transfer(rr, Entry{}, dialled);
        QCOMPARE(rr.form1->panel(2), panel);
        QVERIFY(rr.form1->ui->Pbar1->isHidden());
        QVERIFY2(unitHasReadAll(rr, sim), "the unit never read the marker line");
        const auto events = sim.events();
        QCOMPARE(rig::countSimEvents(events, attempt), attempts);
        QCOMPARE(rig::countSimEvents(events, "settings-begin"), 0);
        QVERIFY2(t.elapsed() < 20000, "a refused attempt is not waited out");
    }
};

QTEST_MAIN(TestTransferUnitsim)
#include "test_transfer_unitsim.moc"
