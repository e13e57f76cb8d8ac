// The settings transfer through the real serial layer on a pseudo-terminal, with unitsim on
// the far side: the dialog's fields set directly and the transfer started with no poll
// running, by cable and dialled; unitsim's report says what the unit decoded.
#include "settings_report.h"
#include "unitsim_process.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QtTest>

namespace {

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }

}  // namespace

class TestTransferPty : public QObject {
    Q_OBJECT

    void transfer(bool dialled) {
        rig::UnitSimProcess sim(dialled ? QStringList{"--fast", "--dial-delay", "0"}
                                        : QStringList{"--fast", "--cable"});
        QVERIFY(sim.ok());
        rig::RealRig r;
        rig::writeFile("u.txt", lines({"+79001112233", "internet", "", "secret", "x@y", "", "", "2", "2", "1"}));
        rig::writeFile("t1.txt", lines({"+79001110000", "", "*100", "+7123"}));
        rig::writeFile("t2.txt", lines({"0", "3", "2", "1"}));
        r.build(sim.link());
        TForm1& f = r.program->form1;
        rig::whenModal([&](QWidget*) {
            auto& d = *r.program->form2.ui;
            d.Edit5->setText(QStringLiteral("камера@почта.рф"));
            d.ComboBox1->setCurrentIndex(2);
            (dialled ? d.Button1 : d.Btpryam)->click();
        });
        const QDateTime before = QDateTime::currentDateTime();
        f.Button1Click();
        QVERIFY2(f.ui->Pbar1->isHidden(), "the progress bar is hidden at the end");
        QCOMPARE(f.panel(2), QString("Установки успешно переданы"));
        // The link request is the first line the program wrote.
        const QByteArray& wrote = r.wire.written;
        QCOMPARE(wrote.left(wrote.indexOf('\r') + 1), dialled ? QByteArray("ATD+79001112233\r") : QByteArray("BC\r"));

        // What the unit decoded is what the dialog saved, the Cyrillic e-mail included.
        const rig::SimReport report = sim.report();
        CHECK(rig::checkTransferred(report, 13));
        QCOMPARE(rig::expectedReport().value("email"), plat::toCp1251(QStringLiteral("камера@почта.рф")));
        QCOMPARE(report.value("tel3"), QByteArray("*100"));
        // The clock record: the PC's time in BCD, the saved resolution twice, 01 01.
        const QByteArray clock = QByteArray::fromHex(report.value("clock_raw"));
        QCOMPARE(clock.size(), 10);
        QCOMPARE(clock.mid(6).toHex(), QByteArray("33330101"));
        const QByteArray digits = clock.left(6).toHex();
        const QDateTime sent =
            QDateTime::fromString(QString::fromLatin1(digits), QStringLiteral("ssmmhhddMMyy")).addYears(100);
        QVERIFY2(qAbs(sent.secsTo(before)) < 10, qPrintable(digits));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("3"));
    }

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }
    void cableTransferReachesTheUnit() { transfer(false); }
    void dialledTransferReachesTheUnit() { transfer(true); }
};

QTEST_MAIN(TestTransferPty)
#include "test_transfer_pty.moc"
