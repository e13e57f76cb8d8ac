// The real serial layer on a pseudo-terminal: what crosses the wire, exclusivity, a peer
// that goes away.
#include "fakes.h"
#include "pty.h"
#include "rig.h"
#include "unitsim_process.h"
#include "platform/serial_qt.h"
#include "ui_tform1.h"

#include <QtTest>
#include <algorithm>
#include <thread>
#include <unistd.h>

class TestSerialPty : public QObject {
    Q_OBJECT

    using RealRig = rig::RealRig;

private slots:
    void vvodThroughARealPort() {
        rig::Pty pty;
        QVERIFY(pty.ok());
        RealRig r;
        TForm1 f(r.sys);
        f.portname = pty.slavePath();
        QVERIFY(f.setdcb());

        // A scripted modem at the far end: echo, then the verbose reply.
        std::thread peer([&] {
            const QByteArray cmd = pty.readUntil("\r", 3000);
            pty.write(cmd + "\r\nOK\r\n");
            const QByteArray dial = pty.readUntil("\r", 3000);
            pty.write(dial + "\r\nCONNECT 9600\r\n");
        });
        const QByteArray c1 = "AT+CRC=1\r";
        QCOMPARE(f.vvod(c1.constData(), f.otvet.data(), int(c1.size()), 30), unsigned(VV_OK));
        const QByteArray c2 = "ATD+79001112233\r";
        QCOMPARE(f.vvod(c2.constData(), f.otvet.data(), int(c2.size()), 30), unsigned(VV_CONNECT));
        peer.join();

        // Bytes travel unchanged both ways, NUL, CR, LF and 0xFF included.
        QByteArray all;
        for (int i = 0; i < 256; ++i) all += char(i);
        QVERIFY(f.wrport(all.constData(), int(all.size())));
        QCOMPARE(pty.readUntil(QByteArray(1, char(0xFF)), 3000), all);
        QVERIFY(pty.write(all));
        QByteArray back;
        unsigned char b = 0;
        QElapsedTimer t;
        t.start();
        while (back.size() < all.size() && t.elapsed() < 3000)
            if (f.readport(b) == plat::ReadResult::Byte) back += char(b);
        QCOMPARE(back, all);
    }

    void emptyReadTakesAboutTenMilliseconds() {
        rig::Pty pty;
        plat::QtSerialLine line;
        QVERIFY(line.open(pty.slavePath()));
        QVERIFY(line.configure());
        unsigned char b;
        // A loaded machine can stretch a read but never shorten it: the whole has a floor, and
        // the typical read (the median) a ceiling that a few late wake-ups do not reach.
        QList<qint64> ms;
        QElapsedTimer all;
        all.start();
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            QCOMPARE(line.read(b), plat::ReadResult::None);
            ms << t.elapsed();
        }
        const qint64 total = all.elapsed();
        std::sort(ms.begin(), ms.end());
        QVERIFY2(total >= 150 && ms[10] < 50, qPrintable(QString("%1 ms in all, median %2 ms").arg(total).arg(ms[10])));
    }

    void aHeldPortIsRefusedUnderAnyName() {
        rig::Pty pty;
        QTemporaryDir dir;
        const QString link = dir.filePath("modem");
        QVERIFY(QFile::link(pty.slavePath(), link));
        plat::QtSerialLine a, b, c;
        QVERIFY(a.open(link));
        QVERIFY(!b.open(pty.slavePath()));  // held by this very process, under the other name
        QCOMPARE(b.openError().kind, plat::OpenError::Busy);
        QVERIFY(!c.open(link));
        plat::QtPortSystem ports;
        QVERIFY(!ports.probe(pty.slavePath()));
        a.close();
        QVERIFY(ports.probe(link));
        QVERIFY(b.open(pty.slavePath()));
        QCOMPARE(b.openError().kind, plat::OpenError::None);
        QVERIFY(!ports.probe("/dev/does-not-exist"));
        QVERIFY(!c.open("/dev/does-not-exist"));
        QCOMPARE(c.openError().kind, plat::OpenError::NoDevice);

        // A device the user may not open is told apart from a held one (root may open anything).
        if (::geteuid() != 0) {
            const QString locked = dir.filePath("locked");
            QFile f(locked);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(f.setPermissions({}));
            QVERIFY(!c.open(locked));
            QCOMPARE(c.openError().kind, plat::OpenError::NoAccess);
            QVERIFY(!c.openError().group.isEmpty());
        }
    }

    // A USB modem is offered under its link in the by-id folder, and that name, once
    // remembered, opens whichever device the link points at after a replug.
    void aUsbModemIsOfferedAndOpenedByItsStableName() {
        rig::Pty first, second;
        QTemporaryDir byId;
        const QString link = byId.filePath("usb-Maker_GSM_Modem_0001-if00-port0");
        QVERIFY(QFile::link(first.slavePath(), link));
        QVERIFY(QFile::link(byId.filePath("unplugged"), byId.filePath("usb-Gone_0002-if00-port0")));
        QCOMPARE(plat::stableNames({second.slavePath(), first.slavePath()}, byId.path()),
                 QStringList({second.slavePath(), link}));
        QCOMPARE(plat::stableNames({first.slavePath()}, byId.filePath("absent")), QStringList{first.slavePath()});
        // A port remembered by its kernel name is known by its stable one; a stable name, a
        // COM name and a device without a link stay as they are.
        plat::QtPortSystem byIdPorts(byId.path());
        QCOMPARE(byIdPorts.stableName(first.slavePath()), link);
        QCOMPARE(byIdPorts.stableName(link), link);
        QCOMPARE(byIdPorts.stableName("COM1"), QString("COM1"));
        QCOMPARE(byIdPorts.stableName(second.slavePath()), second.slavePath());

        plat::QtSerialLine line;
        QVERIFY(line.open(link));
        line.close();
        // Plugged in again, the modem is found as another device; the link follows it.
        first.closeMaster();
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(second.slavePath(), link));
        QVERIFY(line.open(link));
        QVERIFY(line.configure());
        QVERIFY(!plat::QtPortSystem().probe(second.slavePath()));  // the device behind the link is held
        QVERIFY(line.write("AT\r", 3));
        QCOMPARE(second.readUntil("AT\r", 2000), QByteArray("AT\r"));
    }

    void aVanishedPeerFailsReadsWithoutSpinning() {
        rig::Pty pty;
        plat::QtSerialLine line;
        QVERIFY(line.open(pty.slavePath()));
        QVERIFY(line.configure());
        pty.closeMaster();
        unsigned char b;
        QElapsedTimer t;
        t.start();
        plat::ReadResult r = plat::ReadResult::None;
        for (int i = 0; i < 20; ++i) r = line.read(b);
        QCOMPARE(r, plat::ReadResult::Failed);
        QVERIFY(line.vanished());
        QVERIFY2(t.elapsed() >= 150, "each failed read must wait instead of spinning");
    }
};

QTEST_MAIN(TestSerialPty)
#include "test_serial_pty.moc"
