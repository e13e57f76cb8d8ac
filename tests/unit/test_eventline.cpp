// Reading event lines: the count, the names, missing names and the 1,000-character steps.
#include "viewer/eventline.h"
#include <QRandomGenerator>
#include <QtTest>

using viewer::parseEventLine;

class TestEventLine : public QObject {
    Q_OBJECT
private slots:
    void countAndNames_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<QByteArray>>("names");
        using L = QList<QByteArray>;
        QTest::newRow("two pictures") << QByteArray("2,foto\\140509_071226f17,foto\\140511_071226f18,") << 2
                                      << L{"foto\\140509_071226f17", "foto\\140511_071226f18"};
        QTest::newRow("six: the first four") << QByteArray("6,a,b,c,d,e,f,") << 6 << L{"a", "b", "c", "d"};
        QTest::newRow("fewer names than the count") << QByteArray("3,a,b,") << 3 << L{"a", "b", ""};
        QTest::newRow("no final comma") << QByteArray("3,a,b") << 3 << L{"a", "b", ""};
        QTest::newRow("count only") << QByteArray("2") << 2 << L{"", ""};
        QTest::newRow("not a number") << QByteArray("x2,a,") << 0 << L{};
        QTest::newRow("empty count") << QByteArray(",a,b,") << 0 << L{};
        QTest::newRow("empty line") << QByteArray() << 0 << L{};
        QTest::newRow("negative") << QByteArray("-2,a,b,") << -2 << L{};
        QTest::newRow("zero") << QByteArray("0,") << 0 << L{};
        QTest::newRow("empty name kept in place") << QByteArray("3,a,,c,") << 3 << L{"a", "", "c"};
        QTest::newRow("cp1251 bytes pass through") << QByteArray("1,foto\\\xD4\xEE\xF2\xEE,") << 1
                                                   << L{"foto\\\xD4\xEE\xF2\xEE"};
    }
    void countAndNames() {
        QFETCH(QByteArray, line);
        QFETCH(int, count);
        QFETCH(QList<QByteArray>, names);
        const auto e = parseEventLine(line, 4);
        QCOMPARE(e.count, count);
        QCOMPARE(e.names, names);
    }

    void eachStepKeepsAtMostAThousandCharacters() {
        const QByteArray longName(1500, 'n');
        // Only the 1,000 characters after the count are kept: a longer name is cut and nothing follows it.
        auto e = parseEventLine("2," + longName + ",b,", 4);
        QCOMPARE(e.names, QList<QByteArray>({longName.left(1000), ""}));
        // The remaining text is cut again after every field, counted from that field's end.
        const QByteArray a(600, 'a'), b(600, 'b');
        e = parseEventLine("2," + a + "," + b + ",", 4);
        QCOMPARE(e.names, QList<QByteArray>({a, b.left(399)}));
    }

    void arbitraryBytesNeverGiveMoreThanAskedOrLongerNames() {
        QRandomGenerator rng(7);
        const char alphabet[] = {',', ',', '1', '4', '-', 'a', '\\', '\0', char(0xFF)};
        for (int round = 0; round < 2000; ++round) {
            QByteArray line(int(rng.bounded(3000)), '\0');
            for (char& c : line) c = alphabet[rng.bounded(int(sizeof alphabet))];
            const auto e = parseEventLine(line, 4);
            QVERIFY(e.names.size() == std::clamp(e.count, 0, 4));
            for (const auto& n : e.names) QVERIFY(n.size() <= 1000 && !n.contains(','));
        }
    }
};

QTEST_GUILESS_MAIN(TestEventLine)
#include "test_eventline.moc"
