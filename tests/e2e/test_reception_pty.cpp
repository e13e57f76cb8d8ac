// Receiving pictures through the real serial layer on a pseudo-terminal, with a scripted
// modem and unit on the master side: a dialled picture, the unit calling in, and a call that
// ends in the middle of a picture.
#include "acquisition_rig.h"

#include <QDir>
#include <QtTest>
#include <thread>

using namespace std::chrono_literals;

class TestReceptionPty : public QObject {
    Q_OBJECT

    // The modem's side of a dial that the unit answers.
    static QByteArray answerDial(rig::Pty& pty) {
        const QByteArray dial = pty.readUntil("\r", 5000);
        pty.write(dial + "\r\nCONNECT 9600\r\n");
        return dial + pty.readUntil("foto1\r", 5000);
    }

private slots:
    void aDialledPicture() {
        acq::OnPty o;
        QVERIFY(o.pty.ok());
        rig::Pty& pty = o.pty;
        TForm1& f = o.f;
        f.telobj = "+79001112233";
        const QByteArray a = rig::makeJpegWithThumbnail({320, 240, 80, false, 1});
        const QByteArray b = rig::makeJpeg({640, 480, 75, true, 2});
        QByteArray heard;
        std::jthread peer([&] {
            heard = answerDial(pty);
            pty.write("UNIT\r\n" + a + "\r\n" + b + "\r\n\r\nNO CARRIER\r\n");
        });
        f.Button4Click();
        peer.join();
        QCOMPARE(heard, QByteArray("ATD+79001112233\rfoto1\r"));
        QCOMPARE(f.panel(2), QString("foto OK"));
        // The folder foto did not exist; it was made.
        const auto names = acq::fileLines("files.txt");
        QCOMPARE(names.size(), 2);
        QCOMPARE(acq::stored(names[0]), a);
        QCOMPARE(acq::stored(names[1]), b);
        QCOMPARE(acq::fileLines("events.txt"), QList<QByteArray>{"2," + names[0] + "," + names[1] + ","});
        QVERIFY(names[1].endsWith("f1"));
        QCOMPARE(f.busy + f.tmrstop + f.dialed, 0);
    }

    void theUnitCallsIn() {
        acq::OnPty o;
        QVERIFY(o.pty.ok());
        rig::Pty& pty = o.pty;
        TForm1& f = o.f;
        QDir().mkdir("foto");
        const QByteArray jpeg = rig::makeJpeg({160, 128, 75, false, 3});
        QByteArray heard;
        std::jthread peer([&] {
            for (const char* cmd : {"AT+CRC=1\r", "AT+CLIP=1\r"}) {
                heard += pty.readUntil(cmd, 5000);
                pty.write(QByteArray(cmd) + "\r\nOK\r\n");
            }
            std::this_thread::sleep_for(300ms);  // the modem is prepared and listening
            pty.write("\r\n+CRING: REL ASYNC\r\n");
            std::this_thread::sleep_for(200ms);
            pty.write("\r\n+CLIP: \"+79001112233\",145,,,,0\r\n");
            heard += pty.readUntil("ATA\r", 5000);
            pty.write("\r\nCONNECT 9600\r\n" + jpeg + "\r\nNO CARRIER\r\n");
        });
        f.Button3Click();
        QCOMPARE(f.panel(1), "Подключен " + pty.slavePath());
        QVERIFY(f.Timer1.isActive());
        // The poll notices the call within its second.
        QTRY_COMPARE_WITH_TIMEOUT(f.panel(2), QString("foto OK"), 8000);
        peer.join();
        QCOMPARE(heard, QByteArray("AT+CRC=1\rAT+CLIP=1\rATA\r"));
        const auto names = acq::fileLines("files.txt");
        QCOMPARE(names.size(), 1);
        QCOMPARE(acq::stored(names[0]), jpeg);
        QCOMPARE(acq::fileLines("events.txt"), QList<QByteArray>{"1," + names[0] + ","});
        QCOMPARE(f.panel(0), pty.slavePath());
        QTRY_COMPARE_WITH_TIMEOUT(f.panel(2), QString("Ready"), 3000);
    }

    // The call ends in the middle of the second picture, reported by the modem or by the
    // device going away: the first picture is stored, the second is not.
    void aCallDroppedInTheSecondPicture() {
        for (bool hangUp : {false, true}) {
            acq::OnPty o;
            QVERIFY(o.pty.ok());
            rig::Pty& pty = o.pty;
            TForm1& f = o.f;
            const QByteArray a = rig::makeJpeg({320, 240, 75, false, 4});
            const QByteArray b = rig::makeJpegWithThumbnail({640, 480, 75, false, 5});
            const QByteArray sent = a + b.left(b.size() / 2);
            std::jthread peer([&] {
                answerDial(pty);
                if (hangUp) {
                    pty.write(sent);
                    std::this_thread::sleep_for(500ms);
                    pty.closeMaster();
                } else {
                    pty.write(sent + "\r\nNO CARRIER\r\n");
                }
            });
            QElapsedTimer t;
            t.start();
            f.Button4Click();
            peer.join();
            QVERIFY(t.elapsed() < 10000);
            QCOMPARE(f.panel(2), QString("foto OK"));
            QCOMPARE(f.panel(0), hangUp ? QString("err 2") : pty.slavePath());
            const auto names = acq::fileLines("files.txt");
            QCOMPARE(names.size(), 1);
            QCOMPARE(acq::stored(names[0]), a);
            QVERIFY(rig::readFile("temp.dat").startsWith(sent));
        }
    }
};

QTEST_MAIN(TestReceptionPty)
#include "test_reception_pty.moc"
