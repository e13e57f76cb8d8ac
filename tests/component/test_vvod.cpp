// The send-and-expect exchange on a scripted line with the fake clock.
#include "rig.h"
#include "ui_tform1.h"
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QtTest>

using rig::Rig;

class TestVvod : public QObject {
    Q_OBJECT

    struct Open {
        Rig r;
        fake::ScriptedLine* line = nullptr;
        Open() {
            r.build();
            r.ports.line();
            QVERIFY(r.form1->setdcb());
            line = r.ports.current;
        }
        unsigned run(const QByteArray& cmd, int tmout) {
            return r.form1->vvod(cmd.constData(), r.form1->otvet.data(), int(cmd.size()), tmout);
        }
        std::uint32_t now() const { return r.clock.t; }
    };

private slots:
    void verboseOkIsRecognisedAtItsSecondLineFeed() {
        Open o;
        o.line->afterWrite("AT+CLIP=1\r").feed("AT+CLIP=1\r\r\n").feed("OK\r\n").feed("trailing");
        QCOMPARE(o.run("AT+CLIP=1\r", 10), unsigned(VV_OK));
        QCOMPARE(o.r.form1->linkerr, 0);
        QCOMPARE(o.line->written, QByteArray("AT+CLIP=1\r"));
        // Nothing after the recognised line was read.
        QVERIFY(!o.line->scriptDone());
    }

    void resultsByReplyLine_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<unsigned>("result");
        QTest::newRow("connect 9600") << QByteArray("\r\nCONNECT 9600\r\n") << unsigned(VV_CONNECT);
        QTest::newRow("connect any speed") << QByteArray("\r\nCONNECT 14400/RLP\r\n") << unsigned(VV_CONNECT);
        QTest::newRow("no carrier") << QByteArray("\r\nNO CARRIER\r\n") << unsigned(VV_NOCARRIER);
        QTest::newRow("error") << QByteArray("\r\nERROR\r\n") << unsigned(VV_ERROR);
        QTest::newRow("incoming data call") << QByteArray("\r\n+CRING: REL ASYNC\r\n") << unsigned(VV_RING);
        QTest::newRow("OK followed by anything") << QByteArray("OKAY\n") << unsigned(VV_OK);
    }
    void resultsByReplyLine() {
        QFETCH(QByteArray, reply);
        QFETCH(unsigned, result);
        Open o;
        o.line->feed(reply);
        QCOMPARE(o.run("ATD123\r", 600), result);
        QCOMPARE(o.r.form1->linkerr, 0);
    }

    void unrecognisedLinesRunIntoTheTimeout() {
        Open o;
        o.line->feed("\r\nBUSY\r\n").feed("O\n").feed("NO C\n");
        const auto start = o.now();
        QCOMPARE(o.run("ATD123\r", 600), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 1);
        const auto took = o.now() - start;
        QVERIFY2(took > 60000 && took <= 60020, qPrintable(QString::number(took)));
    }

    void silentModemTimesOutJustOverTheLimit() {
        Open o;
        o.r.clock.startAt(0xFFFFFF00u);  // the tick counter wraps during the wait
        const auto start = o.now();
        QCOMPARE(o.run("AT+CRC=1\r", 10), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 1);
        const auto took = o.now() - start;
        QVERIFY2(took > 1000 && took <= 1020, qPrintable(QString::number(took)));
    }

    void nulByteFailsAtOnce() {
        Open o;
        o.line->feed(QByteArray("CONN\0ECT\r\n", 10)).silence(5000).feed("OK\r\n");
        const auto start = o.now();
        QCOMPARE(o.run("ATD1\r", 600), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 2);
        QVERIFY(o.now() - start < 100);
    }

    void failedReadsCountAsEmptyAndNeverRepeatALine() {
        Open o;
        // A line that matches nothing, then failing reads, then the real answer.
        o.line->feed("RING\r\n").failReads(5).feed("OK\r\n");
        QCOMPARE(o.run("AT\r", 10), unsigned(VV_OK));
        Open p;
        p.line->feed("\r\n").failReads(200);
        QCOMPARE(p.run("AT\r", 10), unsigned(VV_FAIL));
        QCOMPARE(p.r.form1->linkerr, 1);
    }

    void pendingCancelEndsTheNextExchangeAfterItsWrite() {
        Open o;
        o.r.form1->BtOtmenaClick();  // pressed while nothing runs
        o.line->feed("OK\r\n");
        QCOMPARE(o.run("ATD5\r", 600), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 3);
        QCOMPARE(o.r.form1->otmena, 0);
        QCOMPARE(o.line->written, QByteArray("ATD5\r"));
    }

    void cancelDuringTheWait() {
        Open o;
        o.line->silence(3000).then([&] { o.r.form1->BtOtmenaClick(); }).silence(100000);
        const auto start = o.now();
        QCOMPARE(o.run("ATD5\r", 600), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 3);
        QVERIFY(o.now() - start < 3100);
    }

    void purgeDiscardsUnreadInput() {
        Open o;
        o.line->inject("\r\nOK\r\n+CRING: REL ASYNC\r\n");
        QCOMPARE(o.run("AT+CRC=1\r", 10), unsigned(VV_FAIL));
        QCOMPARE(o.r.form1->linkerr, 1);
        QVERIFY(o.line->purges >= 1);
    }

    void longNoiseNeitherOverflowsNorHidesALaterOk() {
        Open o;
        QByteArray noise;
        for (int i = 0; i < 5000; ++i) noise += char('A' + i % 26);
        o.line->feed(noise).feed("\r\n").feed(QByteArray(1500, 'x') + "\n").feed("junk\r\n").feed("OK\r\n");
        QCOMPARE(o.run("AT\r", 100), unsigned(VV_OK));
        // Many short unrecognised lines, more than the buffer holds in all.
        Open p;
        QByteArray lines;
        for (int i = 0; i < 400; ++i) lines += "RING\r\n";
        p.line->feed(lines).feed("NO CARRIER\r\n");
        QCOMPARE(p.run("ATD1\r", 600), unsigned(VV_NOCARRIER));
    }

    void progressBarShowsTheShareOfTheTimeout() {
        Open o;
        o.r.form1->ui->Pbar1->show();
        int seen = -1;
        o.line->silence(5000).then([&] { seen = o.r.form1->ui->Pbar1->value(); }).feed("OK\r\n");
        QCOMPARE(o.run("AT\r", 100), unsigned(VV_OK));
        QVERIFY2(seen >= 49 && seen <= 50, qPrintable(QString::number(seen)));
        // Hidden, it is left alone.
        Open h;
        h.r.form1->ui->Pbar1->hide();
        h.r.form1->ui->Pbar1->setValue(7);
        h.line->silence(5000).feed("OK\r\n");
        QCOMPARE(h.run("AT\r", 100), unsigned(VV_OK));
        QCOMPARE(h.r.form1->ui->Pbar1->value(), 7);
    }

    void transcriptsFromARealModem() {
        REQUIRE_SHARED("the recorded transcripts were not played");
        const QString dir = rig::sharedDir();
        struct Case {
            const char* file;
            QList<unsigned> results;
        };
        // prepare.txt: this modem refuses AT+CLIP=1; dial-refused.txt: NO CARRIER at once.
        const Case cases[] = {{"prepare.txt", {VV_OK, VV_ERROR, VV_OK}},
                              {"dial-refused.txt", {VV_NOCARRIER}},
                              {"dial-picture.txt", {VV_OK, VV_CONNECT}}};
        for (const auto& c : cases) {
            const auto events = rig::loadTranscript(dir + "/transcripts/" + c.file);
            QVERIFY2(!events.isEmpty(), c.file);
            Open o;
            rig::scriptTranscript(*o.line, events);
            int k = 0;
            for (const auto& e : events) {
                if (!e.fromPc || k >= c.results.size()) continue;
                const unsigned got = o.run(e.bytes, 600);
                QVERIFY2(got == c.results[k], qPrintable(QString("%1 command %2: %3").arg(c.file).arg(k).arg(got)));
                ++k;
            }
            QCOMPARE(k, int(c.results.size()));
        }
    }

    void traceIsSilentUntilTurnedOnAndThenShowsTheExchange() {
        static QStringList traced;
        traced.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext& c, const QString& m) {
                if (QByteArray(c.category).startsWith("ravlo.")) traced << QString::fromLatin1(c.category) + ": " + m;
            });
        const auto restore = qScopeGuard([previous] {
            qInstallMessageHandler(previous);
            QLoggingCategory::setFilterRules(QString());
        });
        const auto exchange = [] {
            Open o;
            o.line->afterWrite("AT+CRC=1\r").feed("AT+CRC=1\r\r\n").feed("\xcf\xee\t\\\r\n").feed("OK\r\n");
            QCOMPARE(o.run("AT+CRC=1\r", 10), unsigned(VV_OK));
            o.line->feed("OK");  // a reply without its line feed
            QCOMPARE(o.run("AT\r", 10), unsigned(VV_FAIL));
        };

        exchange();
        if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) QVERIFY2(traced.isEmpty(), qPrintable(traced.join('\n')));

        QLoggingCategory::setFilterRules(QStringLiteral("ravlo.*=true"));
        traced.clear();
        exchange();
        const QStringList expected = {
            R"(ravlo.link: write "AT+CRC=1\r")",
            R"(ravlo.link: reply "AT+CRC=1\r\r\n" -> 0 (none))",
            R"(ravlo.link: reply "\xcf\xee\x09\\\r\n" -> 0 (none))",
            R"(ravlo.link: reply "OK\r\n" -> 3 (OK))",
            R"(ravlo.link: write "AT\r")",
            R"(ravlo.link: no reply recognised within 1.0 s; unfinished line "OK")",
        };
        for (const QString& line : expected)
            QVERIFY2(traced.contains(line), qPrintable(line + "\nnot in:\n" + traced.join('\n')));
    }

    void vanishedPortEndsTheExchangeAndIsLetGo() {
        Open o;
        o.line->feed("\r\n").vanish();
        QCOMPARE(o.run("AT\r", 600), unsigned(VV_FAIL));
        QVERIFY(o.r.form1->linkerr != 0);
        QVERIFY(!o.r.form1->hcom);
        QCOMPARE(o.r.form1->portopen, 0);
    }
};

QTEST_MAIN(TestVvod)
#include "test_vvod.moc"
