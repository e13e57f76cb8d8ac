// The simulated modem and unit, run in-process on a socket pair: what a program on the serial
// line sees, byte for byte, and what the simulator logs and reports about it.
#include "unitsim_process.h"
#include "unitsim/loopback.h"
#include "unitsim/picture.h"

#include <QImage>
#include <QtTest>

#include <algorithm>
#include <sys/socket.h>

using namespace unitsim;
using namespace std::chrono_literals;

namespace {

QByteArray qb(const std::string& s) { return QByteArray::fromStdString(s); }

// Complete pictures (start marker to end marker) in a byte stream, and whether a started one
// was left unfinished.
struct Cut {
    std::vector<std::string> whole;
    bool unfinished = false;
};
Cut cutPictures(const std::string& s) {
    Cut c;
    std::size_t pos = 0;
    for (;;) {
        const auto a = s.find("\xFF\xD8", pos);
        if (a == std::string::npos) break;
        const auto b = s.find("\xFF\xD9", a + 2);
        const auto next = s.find("\xFF\xD8", a + 2);
        if (b == std::string::npos || (next != std::string::npos && next < b)) {
            c.unfinished = true;
            if (next == std::string::npos) break;
            pos = next;
            continue;
        }
        c.whole.push_back(s.substr(a, b + 2 - a));
        pos = b + 2;
    }
    return c;
}

// A simulator at full speed with no set-up delays, logging into a temporary folder.
struct Rig {
    QTemporaryDir dir;
    QString log = dir.filePath("log.txt");
    QString report = dir.filePath("report.txt");
    Loopback line;

    explicit Rig(std::vector<std::string> extra = {}) : line(args(std::move(extra))) {}

    std::vector<std::string> args(std::vector<std::string> extra) const {
        std::vector<std::string> a{"--fast", "--dial-delay",    "0",        "--answer-delay",    "0",
                                   "--log",  log.toStdString(), "--report", report.toStdString()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }

    // Writes `bytes` and returns what arrives up to and including `until`; fails the test when
    // it does not come within the time-out.
    std::string say(const std::string& bytes, const std::string& until) {
        line.write(bytes);
        return expect(until);
    }
    std::string expect(const std::string& until, Ms timeout = 10000ms) {
        const auto got = line.readUntil(until, timeout);
        if (!got) {
            QTest::qFail(qPrintable("did not receive " + QString::fromLatin1(qb(until).toPercentEncoding()) +
                                    ", have " + QString::fromLatin1(qb(line.kept()).left(200).toPercentEncoding())),
                         __FILE__, __LINE__);
            return {};
        }
        return *got;
    }
    // Runs the simulator until it has logged `event`; returns all that arrived by then.
    std::string untilLogged(const std::string& event, Ms timeout = 10000ms) {
        const Time end = SteadyClock::now() + timeout;
        while (rig::readSimLog(log, QByteArray::fromStdString(event)).isEmpty()) {
            if (SteadyClock::now() >= end) {
                QTest::qFail(qPrintable("no " + QString::fromStdString(event) + " was logged"), __FILE__, __LINE__);
                break;
            }
            line.pump(5ms);
        }
        return line.readFor(0ms);
    }
    // Exactly `bytes` arrive first, and nothing follows them for a while.
    void receiveOnly(const std::string& bytes) {
        QCOMPARE(qb(expect(bytes)), qb(bytes));
        QCOMPARE(qb(line.readFor(100ms)), QByteArray());
    }
    void dialIn() { QCOMPARE(qb(say("ATD+7900\r", "CONNECT 9600\r\n")), QByteArray("ATD+7900\r\r\nCONNECT 9600\r\n")); }
};

// A settings item the way the operator program sends it.
std::string text(const std::string& t) { return t + "\r"; }
std::string hex(const char* h) { return QByteArray::fromHex(h).toStdString(); }

}  // namespace

class TestUnitsimModem : public QObject {
    Q_OBJECT

private slots:
    // The modem frames its replies the way the recorded one does. Each transcript is played
    // up to the picture data it leaves out; after that only its closing bytes are compared.
    void transcripts_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("prepare") << "prepare.txt" << QStringList{"--clip-reply", "error"};
        QTest::newRow("dial-refused") << "dial-refused.txt" << QStringList{"--dial-result", "no-carrier"};
        QTest::newRow("dial-picture") << "dial-picture.txt"
                                      << QStringList{"--before", "UNIT\\r\\n", "--after", "\\r\\n"};
    }
    void transcripts() {
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        REQUIRE_SHARED("the recorded transcripts were not played");
        const QString shared = rig::sharedDir();
        const QList<rig::TranscriptEvent> events = rig::loadTranscript(shared + "/transcripts/" + file);
        QVERIFY(!events.isEmpty());

        std::vector<std::string> extra;
        for (const auto& o : options) extra.push_back(o.toStdString());
        Rig r(extra);
        QVERIFY2(r.line.error().empty(), r.line.error().c_str());

        bool cut = false;  // picture data was left out of the recording before this event
        for (const rig::TranscriptEvent& e : events) {
            const std::string bytes = e.bytes.toStdString();
            if (e.fromPc) {
                r.line.write(bytes);
            } else if (e.cutAfter) {
                // A picture begins: what precedes its start marker is compared.
                const std::string lead = bytes.substr(0, bytes.find("\xFF\xD8") + 2);
                QCOMPARE(qb(r.expect("\xFF\xD8")), qb(lead));
            } else if (cut) {
                // The picture's end marker and what follows it, with nothing after.
                const std::string tail = bytes.substr(bytes.rfind("\xFF\xD9"));
                QVERIFY(r.line.readUntil(tail, 2000ms));
                QCOMPARE(qb(r.line.readFor(50ms)), QByteArray());
            } else {
                QCOMPARE(qb(r.expect(bytes)), e.bytes);
            }
            cut = cut || e.cutAfter;
        }
    }

    void commandsAndEcho() {
        {
            Rig r;
            QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("AT\r\r\nOK\r\n"));
            QCOMPARE(qb(r.say("at\r", "OK\r\n")), QByteArray("at\r\r\nOK\r\n"));
            QCOMPARE(qb(r.say("AT+CGMI\r", "ERROR\r\n")), QByteArray("AT+CGMI\r\r\nERROR\r\n"));
            // A modem's command buffer is limited: an overlong line is an error, not a crash.
            const std::string longCmd = "AT" + std::string(3000, 'S') + "\r";
            QCOMPARE(qb(r.say(longCmd, "ERROR\r\n")), qb(longCmd + "\r\nERROR\r\n"));
            QCOMPARE(qb(r.say("ATE0\r", "OK\r\n")), QByteArray("ATE0\r\r\nOK\r\n"));
            QCOMPARE(qb(r.say("AT+CRC=1\r", "OK\r\n")), QByteArray("\r\nOK\r\n"));
            QCOMPARE(qb(r.say("ATE1\r", "OK\r\n")), QByteArray("\r\nOK\r\n"));
            QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("AT\r\r\nOK\r\n"));
        }
        {
            Rig r({"--no-echo", "--crc-reply", "silence", "--clip-reply", "ok+longline", "--at-reply", "ok+nul"});
            r.line.write("AT+CRC=1\r");
            QCOMPARE(qb(r.line.readFor(200ms)), QByteArray());
            const std::string clip = r.say("AT+CLIP=1\r", "OK\r\n");
            QCOMPARE(clip.size(), std::size_t(5000 + 6));
            QVERIFY(clip.find('\n') == 5001);  // one line of 5000 bytes (and its CR) first
            QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("\0\r\nOK\r\n", 7));
        }
    }

    void dialResultsFollowTheScenario() {
        Rig r({"--dial-result", "busy,no-answer,silence,error,connect", "--dial-delay", "150"});
        QElapsedTimer t;
        t.start();
        QCOMPARE(qb(r.say("ATD1\r", "BUSY\r\n")), QByteArray("ATD1\r\r\nBUSY\r\n"));
        QVERIFY2(t.elapsed() >= 140, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(qb(r.say("ATD1\r", "NO ANSWER\r\n")), QByteArray("ATD1\r\r\nNO ANSWER\r\n"));
        r.line.write("ATD1\r");
        QCOMPARE(qb(r.expect("ATD1\r")), QByteArray("ATD1\r"));
        QCOMPARE(qb(r.line.readFor(400ms)), QByteArray());  // past the dial delay: no result
        QCOMPARE(qb(r.say("ATD1\r", "ERROR\r\n")), QByteArray("ATD1\r\r\nERROR\r\n"));
        QCOMPARE(qb(r.say("ATD1\r", "CONNECT 9600\r\n")), QByteArray("ATD1\r\r\nCONNECT 9600\r\n"));
        // The last result repeats.
        r.line.control("hangup");
        r.expect("NO CARRIER\r\n");
        QCOMPARE(qb(r.say("ATD2\r", "CONNECT 9600\r\n")), QByteArray("ATD2\r\r\nCONNECT 9600\r\n"));
        const auto dials = rig::readSimLog(r.log, "dial");
        QCOMPARE(dials.size(), 6);
        QCOMPARE(dials[5].fields.value("number"), QByteArray("2"));
    }

    // Pictures from files cross the call unchanged, with the bytes around them as configured,
    // and the log names each one sent whole.
    void dialledPictureArrivesUnchanged() {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.jpg"), b = dir.filePath("b.jpg");
        const std::string picA = makePicture(64, 48, 80, "12:00:00", "#1", 1);
        const std::string picB = makePicture(96, 64, 80, "12:00:01", "#2", 2);
        QVERIFY(picA.size() > 200 && picB.size() > 200);
        rig::writeFile(a, qb(picA));
        rig::writeFile(b, qb(picB));
        QVERIFY(QDir(dir.path()).mkdir("saved"));
        Rig r({"--picture", a.toStdString(), "--picture", b.toStdString(), "--pictures", "3", "--before", "UNIT\\r\\n",
               "--between", "\\x00\\n", "--after", "\\r\\n", "--save-dir", dir.filePath("saved").toStdString()});
        QVERIFY2(r.line.error().empty(), r.line.error().c_str());
        r.dialIn();
        const std::string got = r.say("foto1\r", "NO CARRIER\r\n");
        const std::string sep("\0\n", 2);
        QCOMPARE(qb(got), qb("UNIT\r\n" + picA + sep + picB + sep + picA + "\r\n\r\nNO CARRIER\r\n"));

        const auto pics = rig::readSimLog(r.log, "picture");
        QCOMPARE(pics.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const std::string& pic = i == 1 ? picB : picA;
            QCOMPARE(pics[i].fields.value("status"), QByteArray("complete"));
            QCOMPARE(pics[i].fields.value("index"), QByteArray::number(i + 1));
            QCOMPARE(pics[i].fields.value("sha256"), qb(sha256Hex(pic)));
            QCOMPARE(rig::readFile(QString::fromLocal8Bit(pics[i].fields.value("file"))), qb(pic));
        }
        // The call is over: the next command is the modem's again.
        QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("AT\r\r\nOK\r\n"));
    }

    // An incoming call rings until the program answers; the unit then sends on its own.
    void incomingCall() {
        Rig r({"--ring-interval", "60", "--answer-delay", "30", "--resolution", "1"});
        r.say("AT+CRC=1\r", "OK\r\n");
        r.say("AT+CLIP=1\r", "OK\r\n");
        r.line.control("call +79161234567");
        const std::string ringing = "\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"+79161234567\",145\r\n";
        // It rings on until answered: three rings with nothing in front, then whatever more
        // came before the answer.
        QCOMPARE(qb(r.expect(ringing + ringing + ringing)), qb(ringing + ringing + ringing));
        r.line.readFor(0ms);
        // The program answers at each caller line; the second answer reaches nobody.
        r.line.write("ATA\r");
        r.line.write("ATA\r");
        const std::string call = r.expect("NO CARRIER\r\n");
        QVERIFY(qb(call).startsWith("ATA\r\r\nCONNECT 9600\r\n\xFF\xD8"));
        const Cut cut = cutPictures(call);
        QCOMPARE(cut.whole.size(), std::size_t(1));
        QVERIFY(!cut.unfinished);
        QImage img;
        QVERIFY(img.loadFromData(qb(cut.whole[0]), "JPG"));
        QCOMPARE(img.size(), QSize(160, 128));
        QVERIFY(qb(call).endsWith("\xFF\xD9\r\nNO CARRIER\r\n"));
        QCOMPARE(rig::readSimLog(r.log, "connect").value(0).fields.value("kind"), QByteArray("incoming"));
        // No ring follows the call.
        QCOMPARE(qb(r.line.readFor(150ms)), QByteArray());
    }

    // Rings are reported as far as the program has enabled the reports, like a real modem.
    void ringReportsDependOnTheModemSettings() {
        {
            Rig r({"--ring-interval", "40", "--rings", "2"});
            r.line.control("call");
            QCOMPARE(qb(r.untilLogged("ring-end")), QByteArray("\r\nRING\r\n\r\nRING\r\n"));
            QCOMPARE(rig::readSimLog(r.log, "ring-end").value(0).fields.value("why"), QByteArray("not answered"));
            // Nobody rings now: answering finds no call.
            QCOMPARE(qb(r.say("ATA\r", "NO CARRIER\r\n")), QByteArray("ATA\r\r\nNO CARRIER\r\n"));
        }
        {
            Rig r({"--ring-interval", "1000", "--clip-reply", "error", "--caller", "84951234567"});
            r.say("AT+CRC=1\r", "OK\r\n");
            r.say("AT+CLIP=1\r", "ERROR\r\n");
            r.line.control("call");
            r.receiveOnly("\r\n+CRING: REL ASYNC\r\n");
        }
        {
            Rig r({"--ring-interval", "1000", "--reports-on", "--caller", "84951234567", "--ring-fault", "nul"});
            r.line.control("call");
            r.receiveOnly(std::string("\0\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"84951234567\",129\r\n", 50));
        }
        {
            Rig r({"--ring-interval", "1000", "--reports-on", "--ring-only"});
            r.line.control("call");
            r.receiveOnly("\r\n+CRING: REL ASYNC\r\n");
        }
        {
            // Somebody calls by voice: it rings as a voice call and gives up after its rings;
            // answered, the modem says OK and the caller hangs up.
            Rig r({"--ring-interval", "40", "--reports-on", "--voice-rings", "2"});
            r.line.control("voice +79005556677");
            const std::string voice = "\r\n+CRING: VOICE\r\n\r\n+CLIP: \"+79005556677\",145\r\n";
            QCOMPARE(qb(r.untilLogged("ring-end")), qb(voice + voice));
            QCOMPARE(rig::readSimLog(r.log, "ring-begin").value(0).fields.value("kind"), QByteArray("voice"));
            r.line.control("voice");
            r.expect("+CRING: VOICE\r\n");
            QVERIFY(qb(r.say("ATA\r", "NO CARRIER\r\n")).endsWith("ATA\r\r\nOK\r\n\r\nNO CARRIER\r\n"));
            QCOMPARE(rig::readSimLog(r.log, "answer").value(0).fields.value("kind"), QByteArray("voice"));
        }
        {
            // Any character gives up a dial under way.
            Rig r({"--dial-delay", "5000"});
            r.line.write("ATD+7900\r");
            r.expect("ATD+7900\r");
            QCOMPARE(qb(r.say("\r", "NO CARRIER\r\n")), QByteArray("\r\nNO CARRIER\r\n"));
            QCOMPARE(rig::readSimLog(r.log, "dial-aborted").size(), 1);
        }
    }

    // A restart is a power loss: ringing or a call just stops, a half-typed command and the
    // settings the program made are lost, and the modem announces itself.
    void restartForgetsTheModemSettings() {
        const std::string announcement = "\r\nRDY\r\n\r\n+CPIN: READY\r\n\r\nCall Ready\r\n\r\nSMS Ready\r\n";
        const std::string prepared = "\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"+79001112233\",145\r\n";
        const auto endedBy = [](const Rig& r, const char* event) {
            return rig::countSimEvents(rig::readSimLog(r.log), event, "why", "restart");
        };
        {
            Rig r({"--ring-interval", "1000"});
            r.say("AT+CRC=1\r", "OK\r\n");
            r.say("AT+CLIP=1\r", "OK\r\n");
            r.say("ATE0\r", "OK\r\n");
            r.line.write("AT+CL");
            r.line.pump(0ms);  // the simulator has the half-typed command
            r.line.control("restart");
            r.receiveOnly(announcement);
            // Echo is on again, and nothing of the command typed before is left.
            QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("AT\r\r\nOK\r\n"));
            // The reports are off until the program enables them again.
            r.line.control("call");
            r.receiveOnly("\r\nRING\r\n");
            r.say("AT+CRC=1\r", "OK\r\n");
            r.say("AT+CLIP=1\r", "OK\r\n");
            r.line.control("hangup");
            r.line.control("call");
            r.receiveOnly(prepared);
            r.line.control("restart silent");
            QCOMPARE(endedBy(r, "ring-end"), 1);
            QCOMPARE(qb(r.line.readFor(100ms)), QByteArray());
            // A data call stops without NO CARRIER; the modem takes commands again.
            r.dialIn();
            r.line.control("restart");
            r.receiveOnly(announcement);
            QCOMPARE(endedBy(r, "call-end"), 1);
            QCOMPARE(qb(r.say("AT\r", "OK\r\n")), QByteArray("AT\r\r\nOK\r\n"));
        }
        {
            // Reports on from the start are on after a restart too; no announcement at all.
            Rig r({"--ring-interval", "1000", "--reports-on", "--announce", "none"});
            r.line.control("restart");
            r.line.control("call");
            r.receiveOnly(prepared);
        }
        {
            Rig r({"--restart-every", "0.05", "--announce", "RDY,Call Ready"});
            r.expect("\r\nRDY\r\n\r\nCall Ready\r\n\r\nRDY\r\n\r\nCall Ready\r\n");
        }
    }

    // A call from the unit while the modem is in a call waits until that call is over.
    void callWaitsForAFreeModem() {
        Rig r({"--ring-interval", "50", "--reports-on", "--resolution", "1"});
        r.dialIn();
        r.line.control("call");
        QCOMPARE(qb(r.line.readFor(120ms)), QByteArray());
        r.say("foto1\r", "NO CARRIER\r\n");
        QCOMPARE(qb(r.expect("+CLIP: \"+79001112233\",145\r\n")),
                 QByteArray("\r\n+CRING: REL ASYNC\r\n\r\n+CLIP: \"+79001112233\",145\r\n"));
    }

    // A unit out of reach makes no call of its own and leaves dials unanswered until its silence
    // ends; then it calls at its period again. Dials left unanswered use up no result of
    // --dial-result.
    void unitOutOfReach() {
        {
            Rig r({"--call-every", "0.4", "--silent-for", "1"});
            QCOMPARE(qb(r.say("ATD+7900\r", "NO CARRIER\r\n")), QByteArray("ATD+7900\r\r\nNO CARRIER\r\n"));
            r.line.control("call");
            r.untilLogged("silent-end");
            const auto events = rig::readSimLog(r.log);
            QVERIFY(rig::countSimEvents(events, "call-skipped", "why", "silent") >= 1);
            for (const rig::SimEvent& e : events) {
                QVERIFY2(e.name != "ring-begin", "the unit called while silent");
                if (e.name == "silent-end") break;
            }
            // Heard again: its next call rings and brings its picture.
            r.untilLogged("ring-begin");
            QVERIFY(qb(r.say("ATA\r", "NO CARRIER\r\n")).contains("CONNECT 9600\r\n\xFF\xD8"));
        }
        {
            Rig r({"--dial-result", "busy,connect", "--unanswered", "1"});
            r.line.control("silent");
            QCOMPARE(qb(r.say("ATD1\r", "NO CARRIER\r\n")), QByteArray("ATD1\r\r\nNO CARRIER\r\n"));
            r.line.control("call");  // nothing rings before the next reply
            r.line.control("silent 0");
            QCOMPARE(qb(r.say("ATD1\r", "NO CARRIER\r\n")), QByteArray("ATD1\r\r\nNO CARRIER\r\n"));
            QCOMPARE(qb(r.say("ATD1\r", "BUSY\r\n")), QByteArray("ATD1\r\r\nBUSY\r\n"));
            r.line.control("unanswered 2");
            for (int i = 0; i < 2; ++i)
                QCOMPARE(qb(r.say("ATD1\r", "NO CARRIER\r\n")), QByteArray("ATD1\r\r\nNO CARRIER\r\n"));
            QCOMPARE(qb(r.say("ATD1\r", "CONNECT 9600\r\n")), QByteArray("ATD1\r\r\nCONNECT 9600\r\n"));
            QByteArrayList whys;
            for (const auto& e : rig::readSimLog(r.log, "dial")) whys << e.fields.value("why");
            QCOMPARE(whys.join(','), QByteArray("silent,unanswered,,unanswered,unanswered,"));
            QCOMPARE(rig::readSimLog(r.log, "silent").value(0).fields.value("until"), QByteArray("end"));
            QCOMPARE(rig::readSimLog(r.log, "silent-end").value(0).fields.value("why"), QByteArray("command"));
        }
    }

    // Several units call in turn, each with pictures in its own colours; a unit that is dialled
    // sends its own, however its number is written.
    void callersHaveTheirOwnPictures() {
        Rig r({"--ring-interval", "50", "--reports-on", "--callers", "+79001112233,89161234567"});
        // The sky in the top right corner, away from the texts: blue for the first unit, green
        // for the second.
        const auto sky = [](const std::string& call) {
            const Cut cut = cutPictures(call);
            QImage img;
            if (cut.whole.size() != 1 || !img.loadFromData(qb(cut.whole[0]), "JPG")) return QString("no picture");
            const QColor c = img.pixelColor(img.width() - 4, 4);
            if (c.blue() > c.green() + 40 && c.blue() > c.red() + 40) return QString("blue");
            if (c.green() > c.blue() + 40 && c.green() > c.red() + 40) return QString("green");
            return c.name();
        };
        r.line.control("call");
        r.expect("+CLIP: \"+79001112233\",145\r\n");
        QCOMPARE(sky(r.say("ATA\r", "NO CARRIER\r\n")), QString("blue"));
        r.line.control("call");
        r.expect("+CLIP: \"89161234567\",129\r\n");
        QCOMPARE(sky(r.say("ATA\r", "NO CARRIER\r\n")), QString("green"));
        r.say("ATD+79161234567\r", "CONNECT 9600\r\n");
        QCOMPARE(sky(r.say("foto1\r", "NO CARRIER\r\n")), QString("green"));
    }

    // A voice call given its own first time comes between two calls of the unit and rings, though
    // its period is a multiple of theirs (which alone would always find the modem ringing).
    void voiceCallsInTheirOwnPhase() {
        Rig r({"--ring-interval", "50", "--rings", "1", "--voice-rings", "1", "--call-every", "1", "--voice-every", "2",
               "--voice-first", "1.5"});
        // The kinds of the calls that began, "busy" for a voice call refused; true once a voice
        // call has rung to its end or was refused.
        QByteArrayList kinds;
        const auto voiceOver = [&] {
            kinds.clear();
            for (const rig::SimEvent& e : rig::readSimLog(r.log)) {
                if (e.name == "ring-begin") kinds << e.fields.value("kind");
                else if (e.name == "voice-busy") {
                    kinds << "busy";
                    return true;
                } else if (e.name == "ring-end" && kinds.endsWith("voice")) return true;
            }
            return false;
        };
        const Time end = SteadyClock::now() + 10000ms;
        while (!voiceOver() && SteadyClock::now() < end) r.line.pump(5ms);
        QCOMPARE(kinds.join(' '), QByteArray("data voice"));
    }

    // The settings exchange over the cable, with bytes known in advance; afterwards the unit
    // takes pictures at the resolution it was sent.
    void settingsOverTheCable() {
        Rig r({"--cable"});
        QCOMPARE(qb(r.say("BC\r", "OK\r\n")), QByteArray("OK\r\n"));
        QCOMPARE(qb(r.say("BC\r", "OK\r\n")), QByteArray("OK\r\n"));
        QCOMPARE(qb(r.say("time \r", "OK\r\n")), QByteArray("OK\r\n"));
        QCOMPARE(qb(r.say(hex("02451307122631310101"), "OK\r\n")), QByteArray("OK\r\n"));
        for (const char* t : {"\xE8\xED\xF2\xE5\xF0\xED\xE5\xF2", "1", "1", "2", "2", "cam@example.org"})
            QCOMPARE(qb(r.say(text(t), "OK\r\n")), QByteArray("OK\r\n"));
        for (const char* p : {"A7123B01010101010D", "B0010101010101010D", "A71B0101010101010D", "A7B00101010101010D"})
            QCOMPARE(qb(r.say(hex(p), "OK\r\n")), QByteArray("OK\r\n"));
        QCOMPARE(qb(r.say(text("0-1231"), "OK\r\n")), QByteArray("OK\r\n"));

        auto rep = rig::readSimReport(r.report);
        QCOMPARE(rep["complete"], QByteArray("1"));
        QCOMPARE(rep["acknowledged"], QByteArray("13"));
        QCOMPARE(rep["via"], QByteArray("cable"));
        QCOMPARE(rep["clock"], QByteArray("13:45:02 07.12.26"));
        QCOMPARE(rep["clock_valid"], QByteArray("1"));
        QCOMPARE(rep["resolution"], QByteArray("1"));
        QCOMPARE(rep["picture_size"], QByteArray("160x128"));
        QCOMPARE(rep["apn"], QByteArray("\xE8\xED\xF2\xE5\xF0\xED\xE5\xF2"));
        QCOMPARE(rep["user"], QByteArray("1"));
        QCOMPARE(rep["oper"], QByteArray("2"));
        QCOMPARE(rep["sim"], QByteArray("2"));
        QCOMPARE(rep["email"], QByteArray("cam@example.org"));
        QCOMPARE(rep["tel1"], QByteArray("+7123"));
        QCOMPARE(rep["tel1_raw"], QByteArray("A7 12 3B 01 01 01 01 01 0D"));
        QCOMPARE(rep["tel2"], QByteArray());
        QCOMPARE(rep["tel2_valid"], QByteArray("1"));
        QCOMPARE(rep["tel3"], QByteArray("+71"));
        QCOMPARE(rep["tel4"], QByteArray("+7"));
        QCOMPARE(rep["levels"], QByteArray("0-1231"));

        QImage img;
        QVERIFY(img.loadFromData(qb(r.say("foto1\r", "\xFF\xD9")), "JPG"));
        QCOMPARE(img.size(), QSize(160, 128));

        // A second exchange: 640x480 and the SIM's own settings, so it ends after the codes.
        // Its clock record holds a 0x0D, which must count as a record byte, not end an item.
        r.say("time \r", "OK\r\n");
        QCOMPARE(qb(r.say(hex("0D451307122633330101"), "OK\r\n")), QByteArray("OK\r\n"));
        for (const char* t : {"1", "1", "1", "1", "1"}) r.say(text(t), "OK\r\n");
        rep = rig::readSimReport(r.report);
        QCOMPARE(rep["exchange"], QByteArray("2"));
        QCOMPARE(rep["complete"], QByteArray("1"));
        QCOMPARE(rep["acknowledged"], QByteArray("7"));
        QCOMPARE(rep["clock_valid"], QByteArray("0"));
        QCOMPARE(rep["clock_raw"], QByteArray("0D 45 13 07 12 26 33 33 01 01"));
        QCOMPARE(rep["sim"], QByteArray("1"));
        QVERIFY(!rep.contains("email") && !rep.contains("tel1"));
        // The next line is a request again, not an e-mail login.
        QVERIFY(img.loadFromData(qb(r.say("foto1\r", "\xFF\xD9")), "JPG"));
        QCOMPARE(img.size(), QSize(640, 480));
    }

    // After a settings exchange over a dialled call the program leaves the call standing; the
    // unit ends it after the idle time.
    void settingsOverACallEndWithTheIdleHangUp() {
        Rig r({"--idle-hangup", "250"});
        r.dialIn();
        r.say("time \r", "OK\r\n");
        r.say(hex("59591712122631310101"), "OK\r\n");
        for (const char* t : {"internet", "gdata", "gdata", "2", "1"}) r.say(text(t), "OK\r\n");
        QElapsedTimer t;
        t.start();
        QCOMPARE(qb(r.expect("NO CARRIER\r\n", 2000ms)), QByteArray("\r\nNO CARRIER\r\n"));
        QVERIFY2(t.elapsed() >= 230 && t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        const auto rep = rig::readSimReport(r.report);
        QCOMPARE(rep.value("via"), QByteArray("call"));
        QCOMPARE(rep.value("complete"), QByteArray("1"));
        QCOMPARE(rep.value("clock"), QByteArray("17:59:59 12.12.26"));
        QCOMPARE(rep.value("pass"), QByteArray("gdata"));
    }

    void settingsFaults() {
        {
            Rig r({"--cable", "--settings-fault", "apn:error"});
            r.say("BC\r", "OK\r\n");
            r.say("time \r", "OK\r\n");
            r.say(hex("02451307122631310101"), "OK\r\n");
            QCOMPARE(qb(r.say(text("internet"), "\r\n")), QByteArray("ERROR\r\n"));
            const auto rep = rig::readSimReport(r.report);
            QCOMPARE(rep.value("complete"), QByteArray("0"));
            QCOMPARE(rep.value("acknowledged"), QByteArray("2"));
            QCOMPARE(rep.value("failed_item"), QByteArray("apn"));
            QCOMPARE(rep.value("apn"), QByteArray("internet"));
            // The unit has given the exchange up: the next line is a handshake again.
            QCOMPARE(qb(r.say("BC\r", "OK\r\n")), QByteArray("OK\r\n"));
        }
        {
            Rig r({"--cable", "--settings-fault", "clock:silence", "--settings-fault", "bc:ok+noise"});
            const std::string bc = r.say("BC\r", "OK\r\n");
            QVERIFY(bc.size() >= 16 + 4 && bc.find('\n') == bc.size() - 1 && bc.find('\0') == std::string::npos);
            r.say("time \r", "OK\r\n");
            r.line.write(hex("02451307122631310101"));
            QCOMPARE(qb(r.line.readFor(150ms)), QByteArray());
            QCOMPARE(rig::readSimReport(r.report).value("failed_item"), QByteArray("clock"));
        }
        {
            // The program stops half-way and the call ends: what arrived is still reported.
            Rig r;
            r.dialIn();
            r.say("time \r", "OK\r\n");
            r.say(hex("02451307122633330101"), "OK\r\n");
            r.say(text("apn"), "OK\r\n");
            r.line.control("hangup");
            r.expect("NO CARRIER\r\n");
            const auto rep = rig::readSimReport(r.report);
            QCOMPARE(rep.value("complete"), QByteArray("0"));
            QCOMPARE(rep.value("failed_item"), QByteArray("user"));
            // An unfinished exchange does not change the resolution.
            r.dialIn();
            QImage img;
            QVERIFY(img.loadFromData(qb(r.say("foto1\r", "\xFF\xD9")), "JPG"));
            QCOMPARE(img.size(), QSize(320, 240));
        }
    }

    void pictureFaults_data() {
        QTest::addColumn<QString>("fault");
        for (const char* f : {"drop", "truncate", "silence", "nul", "noise", "longline"}) QTest::newRow(f) << f;
    }
    void pictureFaults() {
        QFETCH(QString, fault);
        Rig r({"--pictures", "2", "--resolution", "1", "--idle-hangup", "100"});
        r.line.control("fault " + fault.toStdString());
        r.dialIn();
        const std::string got = r.say("foto1\r", "NO CARRIER\r\n");
        QVERIFY(qb(got).endsWith("\r\nNO CARRIER\r\n"));
        const Cut cut = cutPictures(got);
        const auto logged = rig::readSimLog(r.log, "picture");
        QList<QByteArray> complete;
        for (const auto& e : logged)
            if (e.fields.value("status") == "complete") complete.push_back(e.fields.value("sha256"));
        QList<QByteArray> arrived;
        for (const auto& p : cut.whole) arrived.push_back(qb(sha256Hex(p)));
        QCOMPARE(arrived, complete);

        const auto firstPicture = got.find("\xFF\xD8");
        if (fault == "drop") {
            QCOMPARE(cut.whole.size(), std::size_t(1));
            QVERIFY(cut.unfinished);
            QVERIFY(got.rfind("\xFF\xD9") < got.rfind("\xFF\xD8"));
            QCOMPARE(logged.value(1).fields.value("why"), QByteArray("drop"));
        } else if (fault == "truncate") {
            QCOMPARE(cut.whole.size(), std::size_t(1));
            QVERIFY(cut.unfinished);
            QCOMPARE(logged.value(1).fields.value("status"), QByteArray("partial"));
        } else if (fault == "silence") {
            QCOMPARE(qb(got), QByteArray("\r\nNO CARRIER\r\n"));
            QVERIFY(logged.isEmpty());
        } else {
            QCOMPARE(cut.whole.size(), std::size_t(2));
            QVERIFY(!cut.unfinished);
            const std::string lead = got.substr(0, firstPicture);
            if (fault == "nul") QCOMPARE(qb(lead), QByteArray("\0", 1));
            if (fault == "noise") {
                QVERIFY(lead.size() >= 16 && lead.size() <= 64);
                QVERIFY(lead.find_first_of(std::string("\0\n\xFF", 3)) == std::string::npos);
            }
            if (fault == "longline") {
                QCOMPARE(lead.size(), std::size_t(5000));
                QVERIFY(lead.find('\n') == std::string::npos);
            }
        }
        // The fault was for one call only.
        r.dialIn();
        const Cut next = cutPictures(r.say("foto1\r", "NO CARRIER\r\n"));
        QCOMPARE(next.whole.size(), std::size_t(2));
        QVERIFY(!next.unfinished);
    }

    // With faults at random, the log still names exactly the pictures that arrived whole, and
    // the same seed gives the same run.
    void randomFaultsAreLoggedExactly() {
        QList<QList<QByteArray>> runs;
        for (int run = 0; run < 2; ++run) {
            Rig r({"--seed", "42", "--fault-rate", "0.6", "--random-faults", "drop,truncate,noise,silence,nul",
                   "--pictures", "3", "--resolution", "1", "--idle-hangup", "30"});
            QList<QByteArray> faults;
            for (int call = 1; call <= 15; ++call) {
                r.dialIn();
                const Cut cut = cutPictures(r.say("foto1\r", "\nNO CARRIER\r\n"));
                QList<QByteArray> arrived, logged;
                for (const auto& p : cut.whole) arrived.push_back(qb(sha256Hex(p)));
                for (const auto& e : rig::readSimLog(r.log, "picture"))
                    if (e.fields.value("call") == QByteArray::number(call) && e.fields.value("status") == "complete")
                        logged.push_back(e.fields.value("sha256"));
                QCOMPARE(arrived, logged);
            }
            for (const auto& e : rig::readSimLog(r.log, "pictures")) faults.push_back(e.fields.value("fault"));
            QCOMPARE(faults.size(), 15);
            runs.push_back(faults);
        }
        QCOMPARE(runs[0], runs[1]);
        QVERIFY(std::count(runs[0].begin(), runs[0].end(), "none") < 15);
        QVERIFY(std::count(runs[0].begin(), runs[0].end(), "none") > 0);
    }

    // At line speed the bytes leave at 960 a second. Measured over a picture of about 2.4 kB.
    void lineSpeed() {
        QTemporaryDir dir;
        Loopback paced({"--cable", "--resolution", "1", "--log", dir.filePath("log").toStdString()});
        QVERIFY(paced.error().empty());
        paced.write("foto1\r");
        std::string got;
        // When each read came (in microseconds from the start) and how many bytes had come by then.
        std::vector<std::pair<qint64, std::size_t>> reads;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && got.find("\xFF\xD9") == std::string::npos) {
            paced.simulator().step(1ms);
            char buf[4096];
            const ssize_t n = ::recv(paced.peerFd(), buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                got.append(buf, std::size_t(n));
                reads.emplace_back(t.nsecsElapsed() / 1000, got.size());
            }
        }
        QVERIFY(got.size() > 1500);
        QVERIFY(got.find("\xFF\xD9") == got.size() - 2);
        QVERIFY(reads.size() >= 3);
        // Rate between the first read and the last but one. Each read finds what the line's
        // schedule has made due by then, however late a busy machine lets this loop come round,
        // except the last: come late, it finds the picture long finished, and the line would
        // look slow.
        const auto [first, firstTotal] = reads.front();
        const auto [last, lastTotal] = reads[reads.size() - 2];
        const double rate = double(lastTotal - firstTotal) * 1e6 / double(last - first);
        QVERIFY2(rate > 960 * 0.97 && rate < 960 * 1.03, qPrintable(QString::number(rate)));
    }
};

QTEST_GUILESS_MAIN(TestUnitsimModem)
#include "test_unitsim_modem.moc"
