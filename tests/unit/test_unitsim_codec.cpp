// What the simulated unit makes of the bytes it is sent: clock records, packed phone numbers,
// report values, and the reply grammar of its command line.
#include "unitsim/codec.h"
#include "unitsim/options.h"
#include "unitsim/report.h"

#include <QtTest>

using namespace unitsim;

namespace {
std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += char(b);
    return s;
}
}  // namespace

class TestUnitsimCodec : public QObject {
    Q_OBJECT

private slots:
    void clockRecord() {
        const auto c = decodeClockRecord(bytes({0x02, 0x45, 0x13, 0x07, 0x12, 0x26, 0x31, 0x31, 0x01, 0x01}));
        QCOMPARE(c.text, std::string("13:45:02 07.12.26"));
        QVERIFY(c.valid && c.trailerValid);
        QCOMPARE(c.hour, 13);
        QCOMPARE(c.minute, 45);
        QCOMPARE(c.second, 2);
        QCOMPARE(c.day, 7);
        QCOMPARE(c.month, 12);
        QCOMPARE(c.year, 26);
        QCOMPARE(c.resolution, '1');
        QCOMPARE(c.resolutionCheck, '1');

        // A byte that is no BCD (here 0x0D, which a line reader would take for the end) and a
        // month 13 are shown as sent and make the record invalid.
        const auto bad = decodeClockRecord(bytes({0x0D, 0x45, 0x13, 0x07, 0x13, 0x26, 0x33, 0x33, 0x01, 0x01}));
        QCOMPARE(bad.text, std::string("13:45:0D 07.13.26"));
        QVERIFY(!bad.valid);
        QCOMPARE(bad.resolution, '3');
        QVERIFY(!decodeClockRecord(bytes({0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x31, 0x31, 0x00, 0x01})).trailerValid);
    }

    void phoneRecord_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char* name, std::initializer_list<int> b, const char* number, bool valid) {
            QTest::newRow(name) << QByteArray::fromStdString(bytes(b)) << QString(number) << valid;
        };
        row("+7123", {0xA7, 0x12, 0x3B, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+7123", true);
        row("+71", {0xA7, 0x1B, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+71", true);
        row("+7", {0xA7, 0xB0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+7", true);
        row("empty", {0xB0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "", true);
        row("star", {0xC1, 0x23, 0xB0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "*123", true);
        row("15 digits", {0xA7, 0x90, 0x01, 0x11, 0x22, 0x33, 0x44, 0x5B, 0x0D}, "+79001112233445", true);
        row("16 digits have no end mark", {0x89, 0x00, 0x11, 0x12, 0x23, 0x34, 0x45, 0x56, 0x0D}, "8900111223344556",
            false);
        row("end byte not B0", {0xA7, 0xB5, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+7", false);
        row("filler not 01", {0xA7, 0xB0, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+7", false);
        row("no 0D at the end", {0xA7, 0xB0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0A}, "+7", false);
        row("nibble without a character", {0xA7, 0xE1, 0xB0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0D}, "+7?1", false);
    }
    void phoneRecord() {
        QFETCH(QByteArray, record);
        QFETCH(QString, number);
        QFETCH(bool, valid);
        const auto p = unpackPhone(record.toStdString());
        QCOMPARE(QString::fromStdString(p.number), number);
        QCOMPARE(p.valid, valid);
        QCOMPARE(p.problem.empty(), valid);
    }

    void reportValuesStayOnOneLine() {
        // Windows-1251 letters pass as they are; control bytes and the backslash are escaped.
        QCOMPARE(escapeValue("\xC0\xEF\xED a=b"), std::string("\xC0\xEF\xED a=b"));
        QCOMPARE(escapeValue(std::string("a\nb\0\\", 5)), std::string("a\\x0Ab\\x00\\x5C"));

        SettingsReport r;
        r.exchange = 2;
        r.via = "cable";
        r.complete = false;
        r.acknowledged = 3;
        r.entries = {{"apn", "in\rternet"}, {"failed_item", "user"}};
        QCOMPARE(formatReport(r), std::string("exchange=2\nvia=cable\ncomplete=0\nacknowledged=3\n"
                                              "apn=in\\x0Dternet\nfailed_item=user\n"));
    }

    void commandLineTexts() {
        QCOMPARE(unescapeArgument("UNIT\\r\\n\\x00\\xff\\\\"),
                 std::optional<std::string>(std::string("UNIT\r\n\0\xff\\", 9)));
        QVERIFY(!unescapeArgument("\\x4"));
        QVERIFY(!unescapeArgument("\\xZZ"));
        QVERIFY(!unescapeArgument("end\\"));
        QVERIFY(!unescapeArgument("\\q"));
    }

    void replies() {
        QCOMPARE(parseReply("ok")->text, std::string("OK"));
        QVERIFY(parseReply("silence")->silent());
        QVERIFY(parseReply("none")->silent());
        const auto c = parseReply("connect+longline");
        QVERIFY(c);
        QCOMPARE(c->text, std::string("CONNECT 9600"));
        QCOMPARE(c->garble, Garble::LongLine);
        QVERIFY(!parseReply("okay"));
        QVERIFY(!parseReply("ok+static"));

        const auto opts = parseArguments({"--settings-fault", "apn:error", "--settings-fault", "tel3:nul",
                                          "--dial-result", "busy,no-answer,connect"});
        QVERIFY2(opts.error.empty(), opts.error.c_str());
        QCOMPARE(opts.options.settingsFaults.size(), std::size_t(2));
        QCOMPARE(opts.options.settingsFaults[1].item, Item::Tel3);
        QCOMPARE(opts.options.settingsFaults[1].reply.text, std::string("OK"));  // a NUL, then OK
        QCOMPARE(opts.options.settingsFaults[1].reply.garble, Garble::Nul);
        QCOMPARE(opts.options.dialResults.size(), std::size_t(3));
        QCOMPARE(opts.options.dialResults[1].text, std::string("NO ANSWER"));

        for (const auto& bad : std::vector<std::vector<std::string>>{{"--settings-fault", "apn"},
                                                                     {"--settings-fault", "fax:ok"},
                                                                     {"--dial-delay", "-1"},
                                                                     {"--fault-rate", "1.5"},
                                                                     {"--resolution", "4"},
                                                                     {"--silent-for", "0"},
                                                                     {"--unanswered", "-1"},
                                                                     {"--pictures"},
                                                                     {"--frobnicate"}})
            QVERIFY2(!parseArguments(bad).error.empty(), bad[0].c_str());
    }

    // The numbers the unit calls with: one with --caller, taken as it is (empty: withheld), or
    // a list with --callers, each a phone number; not both.
    void callers() {
        using List = std::vector<std::string>;
        QCOMPARE(parseArguments({}).options.callers, List{"+79001112233"});
        QCOMPARE(parseArguments({"--caller", ""}).options.callers, List{""});
        const auto list = parseArguments({"--callers", "+79001112233,89161234567,+380441234567"});
        QVERIFY2(list.error.empty(), list.error.c_str());
        QCOMPARE(list.options.callers, (List{"+79001112233", "89161234567", "+380441234567"}));
        for (const auto& bad : std::vector<std::vector<std::string>>{{"--callers", ""},
                                                                     {"--callers", "+7900,,+7911"},
                                                                     {"--callers", "+7900,"},
                                                                     {"--callers", "+"},
                                                                     {"--callers", "+7900 111"},
                                                                     {"--callers", "+7900,\"+7911\""},
                                                                     {"--callers", "123456789012345678901"}})
            QVERIFY2(parseArguments(bad).error.find("--callers") != std::string::npos, bad[1].c_str());
        const auto both = parseArguments({"--caller", "+7900", "--callers", "+7911,+7922"});
        QCOMPARE(both.error, std::string("--caller and --callers cannot be given together."));
    }
};

QTEST_GUILESS_MAIN(TestUnitsimCodec)
#include "test_unitsim_codec.moc"
