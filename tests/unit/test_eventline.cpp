// Reading event lines: the count, the names, missing names and the 1,000-character steps;
// the days of the archive that the event lines' picture names give, and who each event came
// from by the journal of calls.
#include "acquisition/archive.h"
#include "acquisition/callers.h"
#include "acquisition/journal.h"
#include "viewer/dayindex.h"
#include "viewer/eventline.h"
#include <QRandomGenerator>
#include <QTemporaryDir>
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
        QTest::newRow("cp1251 bytes pass through")
            << QByteArray("1,foto\\\xD4\xEE\xF2\xEE,") << 1 << L{"foto\\\xD4\xEE\xF2\xEE"};
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

    void theDaysOfEveryYearFrom2000To2099() {
        // An event on the last day of every year and, in leap years, on 29 February, named as
        // filing names them; then lines whose first name gives no day.
        archive::List events;
        std::vector<QDate> expected;
        int n = 0;
        for (int year = 2000; year <= 2099; ++year) {
            for (const QDate day : {QDate(year, 2, 29), QDate(year, 12, 31)}) {
                if (!day.isValid()) continue;
                events.append(eventLine({pictureName(QDateTime(day, QTime(23, 59, 58)), n++)}));
                expected.push_back(day);
            }
        }
        for (const QByteArray& bad :
             {"1,foto\\246000_311226f1,", "1,foto\\120000_320126f1,", "1,foto\\120000_001326f1,",
              "1,foto\\12000_0101261f1,", "1,foto\\1200x0_010126f1,", "0,", "-1,foto\\120000_010126f1,", "1,,", "",
              "1,foto\\120000_290201f1,"})
            events.append(bad);
        viewer::DayIndex index;
        const viewer::DayIndex::Change change = index.update(events);
        QVERIFY(!change.rebuilt);
        QCOMPARE(change.added, expected);
        QCOMPARE(index.days(), expected);
        QCOMPARE(int(index.events(QDate(2000, 2, 29)).size()), 1);
        QCOMPARE(index.events(QDate(2099, 12, 31))[0], n - 1);
        QVERIFY(!index.has(QDate(2001, 2, 28)));
        QCOMPARE(viewer::eventTime(events.at(n - 1)), QDateTime(QDate(2099, 12, 31), QTime(23, 59, 58), Qt::UTC));
        // A folder written with a slash and a name that is no more than its time read as well.
        QCOMPARE(pictureTime("foto/010203_040506f7"), QDateTime(QDate(2006, 5, 4), QTime(1, 2, 3), Qt::UTC));
        QCOMPARE(pictureTime("010203_040506"), QDateTime(QDate(2006, 5, 4), QTime(1, 2, 3), Qt::UTC));
    }

    void theNearestDayAndAListThatGrows() {
        viewer::DayIndex index;
        QCOMPARE(index.nearest(QDate(2026, 12, 7)), std::nullopt);
        const auto on = [](int day, int n) {
            return eventLine({pictureName(QDateTime(QDate(2026, 12, day), QTime(8, 0)), n)});
        };
        archive::List events{on(3, 0), on(8, 1), on(3, 2)};
        index.update(events);
        const auto events3 = index.events(QDate(2026, 12, 3));
        QCOMPARE(std::vector<int>(events3.begin(), events3.end()), std::vector<int>({0, 2}));
        QCOMPARE(index.nearest(QDate(2026, 12, 3)), QDate(2026, 12, 3));
        QCOMPARE(index.nearest(QDate(2026, 12, 5)), QDate(2026, 12, 3));
        QCOMPARE(index.nearest(QDate(2026, 12, 6)), QDate(2026, 12, 8));
        QCOMPARE(index.nearest(QDate(2000, 1, 1)), QDate(2026, 12, 3));
        QCOMPARE(index.nearest(QDate(2099, 1, 1)), QDate(2026, 12, 8));
        // Only what was added is read: a new day is told once, an old one not at all.
        events.append(on(8, 3));
        events.append(on(12, 4));
        viewer::DayIndex::Change change = index.update(events);
        QCOMPARE(change.added, std::vector<QDate>({QDate(2026, 12, 12)}));
        QCOMPARE(index.nearest(QDate(2026, 12, 10)), QDate(2026, 12, 12));  // two days as near: the later
        QCOMPARE(int(index.events(QDate(2026, 12, 8)).size()), 2);
        QVERIFY(index.update(events).added.empty());
        // Asked for some events only (one unit's): the days and the nearest day that have them.
        const viewer::DayIndex::Keep even = [](int k) { return k % 2 == 0; }, none = [](int) { return false; };
        QCOMPARE(index.days(even), std::vector<QDate>({QDate(2026, 12, 3), QDate(2026, 12, 12)}));
        QCOMPARE(index.nearest(QDate(2026, 12, 8), even), QDate(2026, 12, 12));
        QCOMPARE(index.nearest(QDate(2026, 12, 7), even), QDate(2026, 12, 3));
        QCOMPARE(index.events(QDate(2026, 12, 8), even), std::vector<int>());
        QCOMPARE(index.events(QDate(2026, 12, 3), even), std::vector<int>({0, 2}));
        QCOMPARE(index.newest(), 4);
        QCOMPARE(index.newest([](int k) { return k % 2 == 1; }), 3);
        QCOMPARE(index.nearest(QDate(2026, 12, 8), none), std::nullopt);
        QCOMPARE(index.newest(none), -1);
        // A shorter list is read again from its start.
        events = archive::List{on(20, 0)};
        change = index.update(events);
        QVERIFY(change.rebuilt);
        QCOMPARE(index.days(), std::vector<QDate>({QDate(2026, 12, 20)}));
    }

    // The caller of an event is the number of the line that names its first picture: found
    // for an event filed before its call's line was written once the line is there, never for
    // one that no line names, and by the name, not the number alone, in an archive started
    // anew whose numbers the journal's older lines hold too.
    void whoEachEventCameFrom() {
        const QTemporaryDir dir;
        journal::Journal calls(dir.filePath("calls.csv"));
        const auto picture = [](int day, int n) {
            return pictureName(QDateTime(QDate(2026, 12, day), QTime(8, 0)), n);
        };
        const auto line = [](QByteArray number, QList<QByteArray> pictures) {
            journal::Call call{QDateTime(QDate(2026, 12, 1), QTime(7, 59)), journal::Direction::Incoming, number};
            call.pictures = pictures;
            return call;
        };
        // The archive before it was started anew, then the new one: its numbers begin at 0 again.
        QVERIFY(calls.append(line("+79001112233", {picture(1, 0), picture(1, 1)})));
        archive::List events{eventLine({picture(2, 0), picture(2, 1)}), eventLine({picture(2, 2)})};
        archive::Callers callers;
        QVERIFY(callers.update(events, calls));
        QCOMPARE(callers.numberOf(0), -1);  // the older line names another picture 0
        // The line of the call under way when it ends; an event filed outside a call gets none.
        QVERIFY(calls.append(line("89005556677", {picture(2, 0), picture(2, 1)})));
        QVERIFY(callers.update(events, calls));
        QCOMPARE(callers.numberOf(0), 1);
        QCOMPARE(callers.lineOf(0), 1);
        QCOMPARE(callers.numberOf(1), -1);
        events.append(eventLine({picture(3, 3), picture(3, 4)}));
        QVERIFY(callers.update(events, calls));
        QVERIFY(!callers.update(events, calls));
        QCOMPARE(callers.numberOf(2), -1);
        QVERIFY(calls.append(line("+79001112233", {picture(3, 3), picture(3, 4)})));
        QVERIFY(callers.update(events, calls));
        QCOMPARE(callers.numberOf(2), 0);
        QCOMPARE(callers.numberOf(1), -1);
        QCOMPARE(callers.numberOf(3), -1);  // no such event
        // A start reads the same from the file.
        journal::Journal again(dir.filePath("calls.csv"));
        again.load();
        archive::Callers fresh;
        fresh.update(events, again);
        for (int k = 0; k < 3; ++k) QCOMPARE(fresh.lineOf(k), callers.lineOf(k));
    }
};

QTEST_GUILESS_MAIN(TestEventLine)
#include "test_eventline.moc"
