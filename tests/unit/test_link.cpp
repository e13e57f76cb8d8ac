// Prefix comparison, reply-line recognition and the trace's escaping.
#include "link/lines.h"
#include "platform/trace.h"
#include <QtTest>

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void strncmp1ComparesExactlyCountBytes() {
        QCOMPARE(strncmp1("OK\r\n", "OK", 2), 0);
        QCOMPARE(strncmp1("OX", "OK", 2), 1);
        QCOMPARE(strncmp1("anything", "other", 0), 0);
        // It does not stop at a NUL byte: the bytes after it still count.
        const char a[] = {'A', '\0', 'B'};
        const char b[] = {'A', '\0', 'C'};
        QCOMPARE(strncmp1(a, b, 2), 0);
        QCOMPARE(strncmp1(a, b, 3), 1);
    }

    void classifyLineByPrefixInOrder_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("withClip");
        QTest::addColumn<int>("reply");
        QTest::newRow("OK") << QByteArray("OK\r\n") << false << int(Reply::Ok);
        QTest::newRow("OK and more") << QByteArray("OKAY\n") << false << int(Reply::Ok);
        QTest::newRow("any speed") << QByteArray("CONNECT 115200\r\n") << false << int(Reply::Connect);
        QTest::newRow("no carrier") << QByteArray("NO CARRIER\r\n") << false << int(Reply::NoCarrier);
        QTest::newRow("error") << QByteArray("ERROR\r\n") << false << int(Reply::Error);
        QTest::newRow("ring") << QByteArray("+CRING: REL ASYNC\r\n") << false << int(Reply::Ring);
        QTest::newRow("clip ignored by vvod") << QByteArray("+CLIP: \"+7\",145\r\n") << false << int(Reply::None);
        QTest::newRow("clip in the answer phase") << QByteArray("+CLIP: \"+7\",145\r\n") << true << int(Reply::Clip);
        QTest::newRow("O then line feed") << QByteArray("O\n") << false << int(Reply::None);
        QTest::newRow("lone carriage return") << QByteArray("\r\n") << false << int(Reply::None);
        QTest::newRow("echo") << QByteArray("AT+CRC=1\r\r\n") << false << int(Reply::None);
        QTest::newRow("short NO C") << QByteArray("NO C\n") << false << int(Reply::None);
        QTest::newRow("busy") << QByteArray("BUSY\r\n") << false << int(Reply::None);
    }
    void classifyLineByPrefixInOrder() {
        QFETCH(QByteArray, line);
        QFETCH(bool, withClip);
        QFETCH(int, reply);
        QCOMPARE(int(classifyLine(line.constData(), int(line.size()), withClip)), reply);
    }

    // The lines by which modems announce a start, and those that only look alike: the lines a
    // modem sends on its own while idle, and the rings of either form.
    void startAnnouncementsAndRings() {
        const auto starts = [](const QByteArray& l) { return announcesStart(l.constData(), int(l.size())); };
        const auto rings = [](const QByteArray& l) { return isRing(l.constData(), int(l.size())); };
        for (const QByteArray l : {"RDY\r\n", "^SYSSTART\r\n", "+CPIN: READY\r\n", "Call Ready\r\n", "SMS Ready\r\n",
                                   "PB DONE\r\n", "+WIND: 4\r\n"})
            QVERIFY2(starts(l), l.constData());
        for (const QByteArray l : {"\r\n", "RD\n", "+CPIN: SIM PIN\r\n", "+CMTI: \"SM\",3\r\n", "+CREG: 1\r\n",
                                   "^SHUTDOWN\r\n", "+WIND: 1\r\n", "RING\r\n", "OK\r\n"})
            QVERIFY2(!starts(l), l.constData());
        for (const QByteArray l : {"RING\r\n", "+CRING: VOICE\r\n", "+CRING: REL ASYNC\r\n"})
            QVERIFY2(rings(l), l.constData());
        for (const QByteArray l : {"RIN\n", "+CLIP: \"\",128\r\n", "RDY\r\n"}) QVERIFY2(!rings(l), l.constData());

        // What rings: only data calls are the unit's; a bare RING and an unknown type count as data.
        const auto kind = [](const QByteArray& l) { return ringKind(l.constData(), int(l.size())); };
        for (const QByteArray l :
             {"RING\r\n", "+CRING: REL ASYNC\r\n", "+CRING: ASYNC\r\n", "+CRING: SYNC\r\n", "+CRING: REL SYNC\r\n",
              "+CRING: ALT ASYNC/VOICE\r\n", "+CRING: NEW\r\n", "+CRING:\n"})
            QVERIFY2(kind(l) == RingKind::Data, l.constData());
        for (const QByteArray l : {"+CRING: VOICE\r\n", "+CRING:VOICE/XXX\r\n", "+CRING: ALT VOICE/REL ASYNC\r\n"})
            QVERIFY2(kind(l) == RingKind::Voice, l.constData());
        for (const QByteArray l : {"+CRING: FAX\r\n", "+CRING: ALT FAX/VOICE\r\n"})
            QVERIFY2(kind(l) == RingKind::Fax, l.constData());
        QVERIFY(kind("+CRING: GPRS \"IP\",\"10.1.2.3\"\r\n") == RingKind::Packet);

        // The caller's number and the ring's type, for the journal, as real modems send them.
        QCOMPARE(callerNumber("+CLIP: \"+79001112233\",145,,,,0\r\n"), QByteArray("+79001112233"));
        QCOMPARE(callerNumber("+CLIP: \"2173845400\",129,,128,\"Kamera 1\",0\r\n"), QByteArray("2173845400"));
        QCOMPARE(callerNumber("+CLIP: \"\",128,,128,\"\",1\r\n"), QByteArray());
        QCOMPARE(callerNumber("+CLIP: 89001112233,129\r\n"), QByteArray("89001112233"));
        QCOMPARE(callerNumber("+CLIP: \"+7900"), QByteArray("+7900"));  // a line longer than its head
        QCOMPARE(ringType("+CRING: REL ASYNC\r\n"), QByteArray("REL ASYNC"));
        QCOMPARE(ringType("RING\r\n"), QByteArray("RING"));
    }

    void escapeBytesShowsEveryByteAsPrintableAscii() {
        using plat::escapeBytes;
        QCOMPARE(escapeBytes("AT+CRC=1\r"), QByteArray(R"(AT+CRC=1\r)"));
        QCOMPARE(escapeBytes("OK\r\n"), QByteArray(R"(OK\r\n)"));
        // Controls, NUL, DEL and every byte from 0x80 up (CP1251 text, picture data) as \xNN;
        // a backslash doubled, so that "\r" in a trace is always a carriage return.
        QCOMPARE(escapeBytes(QByteArray("\0\t\x1b\x7f\x80\xff", 6)), QByteArray(R"(\x00\x09\x1b\x7f\x80\xff)"));
        QCOMPARE(escapeBytes("\xcf\xee\xf0\xf2"), QByteArray(R"(\xcf\xee\xf0\xf2)"));  // "Порт" in CP1251
        QCOMPARE(escapeBytes(R"(foto\a)"), QByteArray(R"(foto\\a)"));
        QCOMPARE(escapeBytes(" ~\"'"), QByteArray(" ~\"'"));
        QCOMPARE(escapeBytes(""), QByteArray());
        // A limit shows the head and counts the rest.
        QCOMPARE(escapeBytes("CONNECT 9600\r\n", 7), QByteArray("CONNECT...(+7)"));
        QCOMPARE(escapeBytes("OK\r\n", 4), QByteArray(R"(OK\r\n)"));
        QCOMPARE(escapeBytes("OK", 0), QByteArray("...(+2)"));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
