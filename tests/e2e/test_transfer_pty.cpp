// The settings transfer through the real serial layer on a pseudo-terminal, with a small
// scripted unit on the far side that answers every item with "OK" and decodes what it got.
#include "fakes.h"
#include "pty.h"
#include "rig.h"
#include "unitsim_process.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "platform/serial_qt.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QElapsedTimer>
#include <QtTest>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }

// Reads exactly n bytes from the master side, or what came within the time.
QByteArray readExactly(rig::Pty& pty, int n, int timeoutMs) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < n && t.elapsed() < timeoutMs) {
        pollfd p{pty.masterFd(), POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buf[64];
            const auto k = ::read(pty.masterFd(), buf, size_t(std::min<qsizetype>(n - got.size(), sizeof buf)));
            if (k > 0) got.append(buf, k);
        }
    }
    return got;
}

// What the unit made of the items it received.
struct Report {
    QByteArray apn, user, pass, oper, sim, email, levs;
    QList<QByteArray> tel;
    QByteArray clock;
    bool operator==(const Report&) const = default;
};

QByteArray unpackPhone(const QByteArray& record) {
    QByteArray out;
    auto put = [&out](int code) {
        if (code <= 9) out += char('0' + code);
        else if (code == 0xA) out += '+';
        else if (code == 0xC) out += '*';
    };
    for (int i = 0; i < 8; ++i) {
        const auto b = static_cast<unsigned char>(record[i]);
        if (b == 0xB0) break;
        put(b >> 4);
        if ((b & 0x0F) == 0x0B) break;
        put(b & 0x0F);
    }
    return out;
}

QByteArray text(const QByteArray& item) { return item.chopped(1); }

// The unit: a link request ("BC\r" by cable, or a dial command answered with a connect
// line), then the items in their order, each answered with "OK".
class ScriptedUnit {
public:
    ScriptedUnit(rig::Pty& pty, bool dialled) : pty_(pty), thread_([this, dialled] { run(dialled); }) {}
    ~ScriptedUnit() {
        if (thread_.joinable()) thread_.join();
    }
    Report finish() {
        thread_.join();
        return report_;
    }
    QByteArray link;
    QList<QByteArray> items;

private:
    QByteArray item(int fixedLength = 0) {
        const QByteArray got = fixedLength ? readExactly(pty_, fixedLength, 5000) : pty_.readUntil("\r", 5000);
        items << got;
        pty_.write("OK\r\n");
        return got;
    }
    void run(bool dialled) {
        link = pty_.readUntil("\r", 5000);
        pty_.write(dialled ? QByteArray("\r\nCONNECT 9600\r\n") : QByteArray("OK\r\n"));
        if (item() != "time \r") return;
        report_.clock = item(10);
        report_.apn = text(item());
        report_.user = text(item());
        report_.pass = text(item());
        report_.oper = text(item());
        report_.sim = text(item());
        if (report_.sim == "1") return;  // the SIM card's settings: nothing more comes
        report_.email = text(item());
        for (int i = 0; i < 4; ++i) report_.tel << unpackPhone(item(9));
        report_.levs = text(item());
    }
    rig::Pty& pty_;
    Report report_;
    std::thread thread_;
};

// The report a unit should make of the saved settings: an empty text arrives as "1".
Report expectedFromFiles() {
    const auto u = plat::StringList::parse(rig::readFile("u.txt"));
    const auto t1 = plat::StringList::parse(rig::readFile("t1.txt"));
    const auto t2 = plat::StringList::parse(rig::readFile("t2.txt"));
    auto sent = [](const QByteArray& s) { return s.isEmpty() ? QByteArray("1") : s; };
    Report r;
    r.apn = sent(u[1]);
    r.user = sent(u[2]);
    r.pass = sent(u[3]);
    r.email = sent(u[4]);
    r.oper = u[7];
    r.sim = u[8];
    r.tel = t1.mid(0, 4);
    r.levs = sent(t2[0] + t2[1] + t2[2] + t2[3]);
    return r;
}

using rig::RealRig;

} // namespace

class TestTransferPty : public QObject {
    Q_OBJECT

    void transfer(bool dialled) {
        rig::Pty pty;
        QVERIFY(pty.ok());
        RealRig r;
        rig::writeFile("u.txt", lines({"+79001112233", "internet", "", "secret", "x@y", "", "", "2", "2", "1"}));
        rig::writeFile("t1.txt", lines({"+79001110000", "", "*100", "+7123"}));
        rig::writeFile("t2.txt", lines({"0", "3", "2", "1"}));
        r.build(pty.slavePath());
        TForm1& f = r.program->form1;
        f.portname = pty.slavePath();
        ScriptedUnit unit(pty, dialled);
        rig::whenModal([&](QWidget*) {
            auto& d = *r.program->form2.ui;
            d.Edit5->setText(QStringLiteral("камера@почта.рф"));
            d.ComboBox1->setCurrentIndex(2);
            (dialled ? d.Button1 : d.Btpryam)->click();
        });
        const QDateTime before = QDateTime::currentDateTime();
        f.Button1Click();
        const Report got = unit.finish();
        QVERIFY2(f.ui->Pbar1->isHidden(), "the progress bar is hidden at the end");
        QCOMPARE(f.panel(2), QString("Установки успешно переданы"));
        QCOMPARE(unit.link, dialled ? QByteArray("ATD+79001112233\r") : QByteArray("BC\r"));

        // What the unit decoded is what the dialog saved, the Cyrillic e-mail included.
        Report want = expectedFromFiles();
        want.clock = got.clock;
        QCOMPARE(want.email, plat::toCp1251(QStringLiteral("камера@почта.рф")));
        QCOMPARE(got, want);
        QCOMPARE(got.tel.value(2), QByteArray("*100"));
        // The clock record: the PC's time in BCD, the saved resolution twice, 01 01.
        QCOMPARE(got.clock.size(), 10);
        QCOMPARE(got.clock.mid(6).toHex(), QByteArray("33330101"));
        const QByteArray digits = got.clock.left(6).toHex();
        const QDateTime sent = QDateTime::fromString(QString::fromLatin1(digits), QStringLiteral("ssmmhhddMMyy"))
                                   .addYears(100);
        QVERIFY2(qAbs(sent.secsTo(before)) < 10, qPrintable(digits));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("3"));
    }

private slots:
    void cableTransferReachesTheUnit() { transfer(false); }
    void dialledTransferReachesTheUnit() { transfer(true); }
};

QTEST_MAIN(TestTransferPty)
#include "test_transfer_pty.moc"
