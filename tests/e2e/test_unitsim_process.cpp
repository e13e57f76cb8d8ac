// The unitsim program as the demo and the end-to-end tests start it: a pseudo-terminal named
// on its first output line and by a symbolic link, commands on standard input and a FIFO, a
// port that the operator program closes and opens again, a modem unplugged and plugged back,
// and a clean end on SIGTERM.
#include "pty.h"
#include "unitsim_process.h"
#include "unitsim/picture.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The operator program's end of the line: the slave side opened like a serial port.
class Port {
public:
    explicit Port(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B9600);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void write(const QByteArray& b) const {
        QCOMPARE(::write(fd_, b.constData(), size_t(b.size())), ssize_t(b.size()));
    }
    // What arrives until `until` has been seen (inclusive), or within `ms`.
    QByteArray readUntil(const QByteArray& until, int ms) const { return rig::readUntil(fd_, until, ms); }

private:
    int fd_ = -1;
};

// The state unitsim logged last for the line: "open", "closed", or empty before any.
QByteArray lineState(const QString& log) {
    QByteArray state;
    for (const rig::SimEvent& e : rig::readSimLog(log, "line")) state = e.fields.value("state");
    return state;
}

bool loggedHangUp(const QString& log) {
    return rig::countSimEvents(rig::readSimLog(log), "ring-end", "why", "hangup command") > 0;
}

}  // namespace

class TestUnitsimProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_WITHOUT_UNITSIM(); }

    void helpAndBadArguments() {
        QProcess p;
        p.start(rig::unitsimPath(), {"--help"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("usage: unitsim"));
        p.start(rig::unitsimPath(), {"--dial-result", "maybe"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("maybe"));
    }

    // The unit's own calls present the numbers of --callers in turn, on the line and in the
    // log; a call with a number of its own does not take a turn.
    void callersInTurn() {
        QTemporaryDir dir;
        const QString link = dir.filePath("modem"), log = dir.filePath("log");
        QProcess p;
        p.start(rig::unitsimPath(), {"--fast", "--reports-on", "--rings", "1", "--ring-interval", "100", "--callers",
                                     "+79001112233,89161234567", "--link", link, "--log", log, "--quit-on-eof"});
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(p.waitForReadyRead(5000));
        Port port(link);
        QVERIFY(port.ok());
        port.write("AT\r");
        QVERIFY(port.readUntil("OK\r\n", 10000).contains("OK\r\n"));
        const QByteArrayList calls{"call", "call +7111", "call", "call"};
        const QByteArrayList numbers{"+79001112233", "+7111", "89161234567", "+79001112233"};
        for (qsizetype i = 0; i < calls.size(); ++i) {
            p.write(calls[i] + "\n");
            QVERIFY(p.waitForBytesWritten(2000));
            const QByteArray clip = "\r\n+CLIP: \"" + numbers[i] + "\"," + (numbers[i].startsWith('+') ? "145" : "129");
            const QByteArray got = port.readUntil(clip + "\r\n", 10000);
            QVERIFY2(got.endsWith(clip + "\r\n"), got.constData());
        }
        QByteArrayList rang;
        for (const rig::SimEvent& e : rig::readSimLog(log, "ring")) rang << e.fields.value("number");
        QCOMPARE(rang, numbers);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(5000));
    }

    void aSessionFromStartToSigterm() {
        QTemporaryDir dir;
        const QString link = dir.filePath("modem"), fifo = dir.filePath("control"), log = dir.filePath("log");
        const QString picture = dir.filePath("p.jpg");
        const std::string jpeg = unitsim::makePicture(200, 150, 75, "08:15:00 01.01.27", "#7", 7);
        {
            QFile f(picture);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(jpeg.data(), qint64(jpeg.size()));
        }
        QProcess p;
        p.start(rig::unitsimPath(),
                {"--fast", "--dial-delay", "0", "--answer-delay", "0", "--ring-interval", "100", "--reports-on",
                 "--picture", picture, "--link", link, "--control", fifo, "--log", log});
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(p.waitForReadyRead(5000));
        const QString slave = QString::fromLocal8Bit(p.readLine()).trimmed();
        QVERIFY2(slave.startsWith("/dev/pts/"), qPrintable(slave));
        QCOMPARE(QFileInfo(link).symLinkTarget(), slave);
        QVERIFY(QFileInfo::exists(fifo));

        {
            Port port(link);
            QVERIFY(port.ok());
            port.write("AT\r");
            QCOMPARE(port.readUntil("OK\r\n", 10000), QByteArray("AT\r\r\nOK\r\n"));
            port.write("ATD+79001112233\r");
            QCOMPARE(port.readUntil("CONNECT 9600\r\n", 10000), QByteArray("ATD+79001112233\r\r\nCONNECT 9600\r\n"));
            port.write("foto1\r");
            // The picture crosses the real pseudo-terminal unchanged.
            QCOMPARE(port.readUntil("NO CARRIER\r\n", 10000),
                     QByteArray::fromStdString(jpeg) + QByteArray("\r\nNO CARRIER\r\n"));
        }
        // The simulator notices that the port was closed before it is opened again.
        QTRY_VERIFY2_WITH_TIMEOUT(lineState(log) == "closed", "unitsim never logged the closed port", 30000);
        {
            // The port was closed and is opened again; the modem is still there.
            Port port(link);
            port.write("AT\r");
            QCOMPARE(port.readUntil("OK\r\n", 10000), QByteArray("AT\r\r\nOK\r\n"));

            // Standard input and the FIFO both take commands; the end of standard input does
            // not end the program.
            p.write("call +7111\n");
            QVERIFY(p.waitForBytesWritten(2000));
            QVERIFY(port.readUntil("\"+7111\",145\r\n", 10000).startsWith("\r\n+CRING: REL ASYNC\r\n"));
            p.write("hangup\n");
            QVERIFY(p.waitForBytesWritten(2000));
            p.closeWriteChannel();
            // The ringing stops: after the hang-up is logged, what was on its way drains and
            // no further ring comes (they come every 100 ms).
            QTRY_VERIFY2_WITH_TIMEOUT(loggedHangUp(log), "unitsim never logged the hang-up", 30000);
            port.readUntil({}, 300);
            QCOMPARE(port.readUntil({}, 300), QByteArray());
            {
                QFile control(fifo);
                QVERIFY(control.open(QIODevice::WriteOnly));
                control.write("call +7222\n");
            }
            QVERIFY(port.readUntil("\"+7222\",145\r\n", 10000).contains("+CRING: REL ASYNC"));
            QCOMPARE(p.state(), QProcess::Running);
        }
        QString replugged;
        {
            // Unplugged and plugged back: the port held open hangs up, the link and a new
            // output line name a new pseudo-terminal, and the modem there answers.
            Port old(link);
            QVERIFY(old.ok());
            old.write("AT\r");
            QVERIFY(old.readUntil("OK\r\n", 10000).contains("OK\r\n"));
            {
                QFile control(fifo);
                QVERIFY(control.open(QIODevice::WriteOnly));
                control.write("replug\n");
            }
            QElapsedTimer t;
            t.start();
            while (!p.canReadLine() && t.elapsed() < 10000) p.waitForReadyRead(100);
            QVERIFY2(p.canReadLine(), "unitsim printed no new slave");
            replugged = QString::fromLocal8Bit(p.readLine()).trimmed();
            QVERIFY2(replugged.startsWith("/dev/pts/") && replugged != slave, qPrintable(replugged));
            QCOMPARE(QFileInfo(link).symLinkTarget(), replugged);
            pollfd hup{old.fd(), POLLIN, 0};
            QCOMPARE(::poll(&hup, 1, 10000), 1);
            QVERIFY(hup.revents & POLLHUP);

            Port port(link);
            QVERIFY(port.ok());
            port.write("AT\r");
            QCOMPARE(port.readUntil("OK\r\n", 10000), QByteArray("AT\r\r\nOK\r\n"));
        }

        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(fifo));
        QFile l(log);
        QVERIFY(l.open(QIODevice::ReadOnly));
        const QByteArray events = l.readAll();
        QVERIFY(events.contains("event=picture call=1 index=1 status=complete"));
        QVERIFY(events.contains("event=line state=closed"));
        QVERIFY(events.contains("event=replug slave=" + replugged.toLocal8Bit() + "\n"));
        QVERIFY(events.contains("event=restart announced=4"));
        QVERIFY(events.contains("event=stop"));
    }
};

QTEST_GUILESS_MAIN(TestUnitsimProcess)
#include "test_unitsim_process.moc"
