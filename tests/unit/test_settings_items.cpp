// The items of the settings transfer that are built from data alone: the clock record, the
// phone records with their packed numbers, and the text items.
#include "config/transfer.h"

#include <QtTest>

namespace {
template <size_t N> QByteArray bytes(const std::array<unsigned char, N>& a) {
    return QByteArray(reinterpret_cast<const char*>(a.data()), qsizetype(N));
}
}  // namespace

class TestSettingsItems : public QObject {
    Q_OBJECT
private slots:
    void convtel_data() {
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<QByteArray>("packed");
        QTest::newRow("+7123") << QByteArray("+7123") << QByteArray::fromHex("A7123B0101010101");
        QTest::newRow("+71") << QByteArray("+71") << QByteArray::fromHex("A71B010101010101");
        QTest::newRow("+7") << QByteArray("+7") << QByteArray::fromHex("A7B0010101010101");
        QTest::newRow("empty") << QByteArray() << QByteArray::fromHex("B001010101010101");
        QTest::newRow("star") << QByteArray("*12") << QByteArray::fromHex("C12B010101010101");
        QTest::newRow("unknown characters keep the half-byte")
            << QByteArray("#1") << QByteArray::fromHex("02B0010101010101");
        QTest::newRow("15 characters fit") << QByteArray("+79001112233445") << QByteArray::fromHex("A79001112233445B");
        QTest::newRow("16 characters pack their first 15")
            << QByteArray("+790011122334456") << QByteArray::fromHex("A79001112233445B");
        QTest::newRow("40 characters") << QByteArray(40, '9') << QByteArray::fromHex("999999999999999B");
    }
    void convtel() {
        QFETCH(QByteArray, number);
        QFETCH(QByteArray, packed);
        // A guard byte after the eight: packing must never write past them.
        unsigned char out[9];
        std::fill(std::begin(out), std::end(out), 0x5A);
        ::convtel(out, number.constData(), int(number.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 8).toHex(), packed.toHex());
        QCOMPARE(out[8], 0x5A);
    }

    void clockRecord_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("item");
        QTest::addColumn<QByteArray>("record");
        const QDateTime dec7(QDate(2026, 12, 7), QTime(13, 45, 2));
        QTest::newRow("160x128") << dec7 << 0 << QByteArray::fromHex("02451307122631310101");
        QTest::newRow("320x240") << dec7 << 1 << QByteArray::fromHex("02451307122632320101");
        QTest::newRow("640x480") << dec7 << 2 << QByteArray::fromHex("02451307122633330101");
        // Nothing picked, or a typed entry past the list: the unit's lowest resolution.
        QTest::newRow("no pick") << dec7 << -1 << QByteArray::fromHex("02451307122631310101");
        QTest::newRow("typed entry") << dec7 << 3 << QByteArray::fromHex("02451307122631310101");
        QTest::newRow("24-hour clock, new year")
            << QDateTime(QDate(2000, 1, 1), QTime(23, 59, 59)) << 0 << QByteArray::fromHex("59592301010031310101");
        QTest::newRow("midnight") << QDateTime(QDate(2099, 10, 31), QTime(0, 0, 0)) << 2
                                  << QByteArray::fromHex("00000031109933330101");
    }
    void clockRecord() {
        QFETCH(QDateTime, now);
        QFETCH(int, item);
        QFETCH(QByteArray, record);
        QCOMPARE(bytes(::clockRecord(now, item)).toHex(' '), record.toHex(' '));
    }

    void phoneRecord_data() {
        QTest::addColumn<QByteArray>("tel");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("+7123") << QByteArray("+7123") << QByteArray::fromHex("A7123B01010101010D");
        QTest::newRow("empty") << QByteArray() << QByteArray::fromHex("B0010101010101010D");
        QTest::newRow("15 characters") << QByteArray("+79001112233*12") << QByteArray::fromHex("A79001112233C12B0D");
        // Longer than the packed form holds: its first 15 characters, still 9 bytes.
        QTest::newRow("16 characters") << QByteArray("+79001112233*123") << QByteArray::fromHex("A79001112233C12B0D");
        // "#" has no code: it leaves its half-byte as it was.
        QTest::newRow("with #") << QByteArray("#1")
                                << QByteArray::fromHex("02B0010101010101"
                                                       "0D");
    }
    void phoneRecord() {
        QFETCH(QByteArray, tel);
        QFETCH(QByteArray, record);
        QCOMPARE(bytes(::phoneRecord(tel)).toHex(' '), record.toHex(' '));
    }

    void textItems() {
        QCOMPARE(textItem(""), QByteArray("1\r"));
        QCOMPARE(textItem("internet"), QByteArray("internet\r"));
        QCOMPARE(textItem("0-133"), QByteArray("0-133\r"));
        QCOMPARE(textItem("\xEA\xE0\xEC"), QByteArray("\xEA\xE0\xEC\r"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsItems)
#include "test_settings_items.moc"
