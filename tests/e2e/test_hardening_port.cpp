// A port that vanishes (the modem process killed, the far end of the pseudo-terminal closed):
// the waiting exchange ends as a failure at once, a data phase files what it had received,
// the port is let go so that the next Инициализ., Снимок or settings transfer opens it again,
// and no wait on the vanished port spins a core.
#include "acquisition_rig.h"
#include "timing.h"
#include "unitsim_process.h"
#include "config/tform2.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QSemaphore>
#include <QtTest>

#include <thread>

namespace {

// The port name the program keeps: a symbolic link that the test points at the device of the
// moment, as a modem plugged in again comes back under the same name.
void pointPort(const QString& link, const QString& device) {
    QFile::remove(link);
    QVERIFY(QFile::link(device, link));
}

}  // namespace

class TestHardeningPort : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    // The modem goes away in the middle of the second picture; afterwards Инициализ., Снимок
    // and the settings transfer each find a modem under the same name again.
    void vanishesInAPictureThenEachOperationOpensItAgain() {
        rig::RealRig rr;
        const QString port = rr.work.file("modem");
        auto sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--pictures", "2", "--resolution", "1",
                                                                     "--dial-delay", "0", "--answer-delay", "0"});
        QVERIFY(sim->ok());
        pointPort(port, sim->link());
        rr.build(port);
        TForm1& f = *rr.form1;
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + port);

        // At the line's 960 bytes a second: kill the modem once the first picture has left it
        // and a few hundred bytes of the second have arrived.
        QByteArray first;
        rr.ui.onPump = [&] {
            if (!sim->running() || f.panel(2) != QStringLiteral("Прием фото")) return;
            if (first.isEmpty()) first = rig::readFile(sim->savedDir() + "/call0001-1.jpg");
            if (!first.isEmpty() && f.nfoto > first.size() + 300) sim->kill();
        };
        const rig::Cost snap = rig::measure([&] { f.ui->Button4->click(); });
        rr.ui.onPump = nullptr;
        QVERIFY2(!first.isEmpty() && !sim->running(), "the modem went away during the second picture");
        QVERIFY2(snap.wall < 15, "the data phase ended when the port went, not at its time-out");
        QCOMPARE(f.panel(0), QString("err 2"));
        QCOMPARE(f.panel(2), QString("foto OK"));
        const auto names = acq::fileLines("files.txt");
        QCOMPARE(names.size(), 1);
        QCOMPARE(acq::stored(names[0]), first);
        QVERIFY(rig::readFile("temp.dat").startsWith(first));
        QCOMPARE(f.portopen, 0);
        QVERIFY(!f.hcom);
        QCOMPARE(f.busy + f.tmrstop + f.dialed, 0);

        // Timer1 goes on polling the port that is gone: no reads that spin.
        const rig::Cost idle = rig::measure([&] { QTest::qWait(2500); });
        QVERIFY2(idle.cpu < 0.5 * idle.wall, qPrintable(QString("%1 s CPU in %2 s").arg(idle.cpu).arg(idle.wall)));
        qInfo("data phase to the vanished port: %.2f s, %.3f s CPU; polling it: %.3f s CPU in %.2f s", snap.wall,
              snap.cpu, idle.cpu, idle.wall);

        // Nothing under the name yet (the link points nowhere, not at a terminal number that
        // another test may have been given since): Снимок tries to open it, and says so.
        pointPort(port, rr.work.file("unplugged"));
        f.ui->Button4->click();
        QCOMPARE(rr.ui.messages.size(), 1);
        QCOMPARE(rr.ui.messages[0].caption, QString("Порт занят"));
        QCOMPARE(f.portopen, 0);

        // A modem again: Инициализ. opens the port, Снимок receives.
        sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--fast", "--pictures", "2", "--resolution", "1",
                                                                "--dial-delay", "0", "--answer-delay", "0"});
        QVERIFY(sim->ok());
        pointPort(port, sim->link());
        f.ui->Button3->click();
        QCOMPARE(f.panel(1), "Подключен " + port);
        QCOMPARE(f.portopen, 1);
        f.ui->Button4->click();
        QCOMPARE(f.panel(2), QString("foto OK"));
        QCOMPARE(acq::fileLines("files.txt").size(), 3);

        // It goes away while nothing waits: the poll notices and lets the port go.
        sim->kill();
        QTRY_COMPARE_WITH_TIMEOUT(f.portopen, 0, 15000);

        // The unit on a cable now: the settings transfer opens the port again.
        sim = std::make_unique<rig::UnitSimProcess>(QStringList{"--cable", "--fast"});
        QVERIFY(sim->ok());
        pointPort(port, sim->link());
        rig::whenModal([&](QWidget*) { rr.program->form2.ui->Btpryam->click(); });
        f.ui->Button1->click();
        QCOMPARE(f.panel(2), QString("Установки успешно переданы"));
        QCOMPARE(f.portopen, 1);
        QTRY_COMPARE_WITH_TIMEOUT(sim->report().value("complete"), QByteArray("1"), 15000);
        QCOMPARE(rr.ui.messages.size(), 1);
        QVERIFY2(rr.ui.errors.isEmpty(), qPrintable(rr.ui.errors.join("; ")));
    }

    // The far end closes during each kind of wait: the wait ends at once (not at its time-out,
    // not after further attempts), without spinning, and the port is let go.
    void vanishesDuringEachWait() {
        enum Wait { Init, Dialling, Answer, Settings };
        for (Wait w : {Init, Dialling, Answer, Settings}) {
            rig::RealRig rr;
            auto pty = std::make_unique<rig::Pty>();
            QVERIFY(pty->ok());
            const QString port = rr.work.file("modem");
            pointPort(port, pty->slavePath());
            rr.build(port);
            TForm1& f = *rr.form1;
            // The far end closes only once the program waits (in the answer phase: after the ring).
            QSemaphore waiting;
            bool told = false;  // the window thread's own
            rr.ui.onPump = [&] {
                if (told || (w == Answer && f.panel(2) != QStringLiteral("Звонок"))) return;
                told = true;
                waiting.release();
            };
            std::jthread peer([&] {
                switch (w) {
                case Init: pty->readUntil("AT+CRC=1\r", 5000); break;
                case Dialling: pty->readUntil("ATD", 5000); break;
                case Settings: pty->readUntil("BC\r", 5000); break;
                case Answer: pty->write("\r\n+CRING: REL ASYNC\r\n"); break;
                }
                waiting.tryAcquire(1, 5000);
                pty->closeMaster();
            });
            rig::Cost cost{};
            switch (w) {
            case Init: cost = rig::measure([&] { f.ui->Button3->click(); }); break;
            case Dialling: cost = rig::measure([&] { f.ui->Button4->click(); }); break;
            case Settings:
                rig::whenModal([&](QWidget*) { rr.program->form2.ui->Btpryam->click(); });
                cost = rig::measure([&] { f.ui->Button1->click(); });
                break;
            case Answer:
                QVERIFY(f.setdcb());
                f.portopen = 1;
                f.Timer1.start();
                cost = rig::measure([&] { QTRY_COMPARE_WITH_TIMEOUT(f.panel(0), QString("err 2"), 5000); });
                QCOMPARE(f.panel(2), QString("Звонок"));
                QVERIFY(!QFileInfo::exists("temp.dat"));
                break;
            }
            peer.join();
            static const char* const names[] = {"Инициализ.", "dialling", "answer phase", "cable handshake"};
            const QString what =
                QStringLiteral("%1: %2 s, %3 s CPU").arg(QString::fromUtf8(names[int(w)])).arg(cost.wall).arg(cost.cpu);
            qInfo("%s", qPrintable(what));
            QVERIFY2(cost.wall < 3, qPrintable(what));
            QVERIFY2(cost.cpu < 0.5 * cost.wall + 0.05, qPrintable(what));
            QCOMPARE(f.portopen, 0);
            QVERIFY(!f.hcom);
            QCOMPARE(f.busy + f.tmrstop + f.dialed, 0);
            if (w == Init) QCOMPARE(f.panel(1), QString("Не подключен"));
            if (w == Dialling) QCOMPARE(f.panel(2), QString("Не связи с объектом"));
            QVERIFY2(rr.ui.messages.isEmpty() && rr.ui.errors.isEmpty(), qPrintable(what));
        }
    }
};

QTEST_MAIN(TestHardeningPort)
#include "test_hardening_port.moc"
