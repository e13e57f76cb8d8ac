// The watch station on its own, without the main window: the book of units and its file.
#include "platform/cp1251.h"
#include "watch/book.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray cp(const QString& text) { return plat::toCp1251(text); }

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

const QByteArray kHeading = cp(QStringLiteral("Номер;Название;Комментарий;Интервал, ч;Проверка звонком\r\n"));

}  // namespace

class TestWatch : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void oneUnitHoweverTheNetworkWritesItsNumber() {
        using watch::nationalNumber;
        for (const char* n : {"+79001112233", "89001112233", "79001112233", "9001112233", "+7 (900) 111-22-33"})
            QCOMPARE(nationalNumber(n), QByteArray("9001112233"));
        // A foreign number keeps all its digits, with or without its international prefix.
        QCOMPARE(nationalNumber("+380441234567"), QByteArray("380441234567"));
        QCOMPARE(nationalNumber("00380441234567"), QByteArray("380441234567"));
        QCOMPARE(nationalNumber("810380441234567"), QByteArray("380441234567"));
        QCOMPARE(nationalNumber("+4930123456"), QByteArray("4930123456"));
        QCOMPARE(nationalNumber("112"), QByteArray("112"));
        // Withheld: no digits, no unit.
        QCOMPARE(nationalNumber(""), QByteArray());

        watch::Book book(file("forms.csv"));
        QCOMPARE(book.add({"+79001112233", QStringLiteral("Склад №2"), {}, 24, true}), QString());
        QCOMPARE(book.add({"+380441234567", QStringLiteral("Киев"), {}, 0, false}), QString());
        for (const char* n : {"+79001112233", "89001112233", "9001112233"}) QCOMPARE(book.find(n), 0);
        QCOMPARE(book.nameOf("00380441234567"), QStringLiteral("Киев"));
        QCOMPARE(book.find(""), -1);
        QCOMPARE(book.find("+79001112234"), -1);
        QVERIFY(book.passes(watch::Filter::unit("89001112233"), "+79001112233"));
        QVERIFY(!book.passes(watch::Filter::unit("89001112233"), "+380441234567"));
        QVERIFY(book.passes(watch::Filter::unknown(), ""));
        QVERIFY(!book.passes(watch::Filter::unknown(), "9001112233"));
    }

    void theBookIsWrittenWholeAndReadBack() {
        const QString name = file("units.csv");
        watch::Book book(name);
        QCOMPARE(book.load(), QString());  // no file: an empty book
        QVERIFY(book.ensure("+79001112233"));
        QVERIFY(!book.ensure("89001112233"));  // the same unit
        QCOMPARE(book.add({"89161234567", QStringLiteral("Дача; ворота \"север\""), QStringLiteral("за рекой"), 6,
                           false}),
                 QString());
        QCOMPARE(readAll(name),
                 kHeading + cp(QStringLiteral("+79001112233;Объект;;;нет\r\n"
                                              "89161234567;\"Дача; ворота \"\"север\"\"\";за рекой;6;нет\r\n")));
        QCOMPARE(book.replace(0, {"+79001112233", QStringLiteral("Склад №2"), QStringLiteral("ворота"), 24, true}),
                 QString());
        watch::Book again(name);
        QCOMPARE(again.load(), QString());
        QCOMPARE(again.units(), book.units());
        QCOMPARE(again.units()[0].name, QStringLiteral("Склад №2"));
        QVERIFY(again.units()[0].check);
        QCOMPARE(again.remove(1), QString());
        QCOMPARE(readAll(name), kHeading + cp(QStringLiteral("+79001112233;Склад №2;ворота;24;да\r\n")));

        // Refused, with the reason, and nothing written.
        const QByteArray before = readAll(name);
        QVERIFY(again.add({"+7900abc", QStringLiteral("X"), {}, 0, false}).contains(QStringLiteral("только цифры")));
        QVERIFY(again.add({"9001112233", QStringLiteral("X"), {}, 0, false}).contains(QStringLiteral("Склад №2")));
        QVERIFY(again.add({"+79002223344", QString(), {}, 0, false}).contains(QStringLiteral("название")));
        QCOMPARE(readAll(name), before);
        // Its own number is no fault of a unit changed in its row.
        QCOMPARE(again.fault({"89001112233", QStringLiteral("Склад"), {}, 0, false}, 0), QString());
    }

    void aFileThatCannotBeReadIsNeverOverwritten() {
        const QString name = file("damaged.csv");
        // A spreadsheet's hand: a line with a bad interval, one with a bad check, a number twice.
        const QByteArray text = kHeading + cp(QStringLiteral("+79001112233;Склад;;24;да\r\n"
                                                             "+79005556677;Гараж;;сутки;да\r\n"
                                                             "+79007778899;Дача;;;может быть\r\n"
                                                             "89001112233;Склад снова;;;\r\n"
                                                             "\r\n"
                                                             "+79001110000;Ворота\r\n"));
        writeAll(name, text);
        watch::Book book(name);
        const QString told = book.load();
        QVERIFY2(told.contains(QStringLiteral("строки 3, 4, 5")), qPrintable(told));
        QCOMPARE(book.units().size(), 2);  // the lines that read are used
        QCOMPARE(book.nameOf("9001110000"), QStringLiteral("Ворота"));
        QVERIFY(!book.writable());
        QCOMPARE(book.add({"+79002223344", QStringLiteral("Новый"), {}, 0, false}), told);
        // The unit of the settings is known for this run, and the file stays as it was.
        QVERIFY(book.ensure("+79009990000"));
        QCOMPARE(book.nameOf("+79009990000"), watch::defaultName);
        QCOMPARE(readAll(name), text);
    }
};

QTEST_MAIN(TestWatch)
#include "test_watch.moc"
