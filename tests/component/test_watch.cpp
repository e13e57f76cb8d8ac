// The watch station on its own, without the main window: the book of units and its file, the
// board "Объекты" over a working folder of real files, and what was seen.
#include "fakes.h"
#include "jpegmaker.h"
#include "acquisition/archive.h"
#include "platform/cp1251.h"
#include "watch/book.h"
#include "watch/tform6.h"
#include "watch/tform7.h"
#include "watch/watch.h"
#include "ui_tform6.h"
#include "ui_tform7.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <functional>
#include <memory>

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

// What the station asked of the main window.
struct Operations final : watch::Operations {
    QString snapshot(const QByteArray& number) override {
        dialled.append(number);
        return refusal;
    }
    // A check runs `onCheck` (which may play the call's journal line) and answers its refusal.
    QString check(const QByteArray& number) override {
        checked.append(number);
        if (onCheck) onCheck(number);
        return refusal;
    }
    bool portFree() override { return free; }
    watch::Modem modem() override { return modemState; }
    void openArchive(const watch::Filter& filter, int event) override { opened.append({filter, event}); }
    QList<QByteArray> checked;
    std::function<void(const QByteArray&)> onCheck;
    bool free = true;
    watch::Modem modemState = watch::Modem::Ready;
    QList<QByteArray> dialled;
    QString refusal;  // what the next "Снимок" answers
    QList<std::pair<watch::Filter, int>> opened;
};

// A working folder with its archive, journal and book, and the station over it, as the main
// window holds them: each call is filed and written to the journal as a reception does.
struct Station {
    fake::World world;
    archive::List pictures, events;
    journal::Journal calls;
    archive::Callers callers;
    Operations operations;
    QWidget window;  // the main window the station alerts and titles
    std::unique_ptr<watch::Watch> watch;
    bool shared = true;  // the station reads `callers`; otherwise it keeps an index of its own

    // A new station on the folder as it stands, as at a start of the program; `shownFirst`:
    // the main window's first page, shown before the station starts.
    void start(const QByteArray& unitNumber = "+79001112233", const QList<QByteArray>& shownFirst = {}) {
        if (watch) watch->finish();
        watch.reset();
        pictures = {};
        events = {};
        if (QFile::exists(archive::pictureList)) pictures.load(archive::pictureList);
        if (QFile::exists(archive::eventList)) events.load(archive::eventList);
        calls = journal::Journal();
        calls.load();
        callers = archive::Callers();
        callers.update(events, calls);
        window.setWindowTitle(QStringLiteral("Ravlo"));
        watch = std::make_unique<watch::Watch>(world.sys,
                                               watch::Archive{pictures, events, calls, shared ? &callers : nullptr},
                                               operations, &window);
        watch->shown(shownFirst);
        watch->start(unitNumber);
    }
    TForm6& board() const { return *watch->board(); }

    // A call from the number at the time that brought `count` pictures (none with a file when
    // `files` is false); returns the pictures' names. `what`: "проверка" for a check's call,
    // which the station dialled.
    QList<QByteArray> call(const QByteArray& number, const QDateTime& at, int count, bool files = true,
                           const QString& what = QStringLiteral("снимок")) {
        QList<QByteArray> names;
        for (int i = 0; i < count; ++i) {
            const QByteArray name = pictureName(at.addSecs(i), pictures.count());
            if (files) {
                QDir().mkpath(QString::fromLatin1(archive::pictureFolder));
                writeAll(nativePath(name + ".jpg"), rig::makeJpeg({160, 120, 75, false, unsigned(i + 1)}));
            }
            pictures.append(name);
            names.append(name);
        }
        if (count > 0) {
            events.append(eventLine(names));
            pictures.save(archive::pictureList);
            events.save(archive::eventList);
            watch->filed();
        }
        journal::Call line;
        line.start = at;
        line.number = number;
        line.what = what;
        line.direction =
            what == QStringLiteral("проверка") ? journal::Direction::Outgoing : journal::Direction::Incoming;
        line.outcome = count > 0 ? QStringLiteral("foto OK") : journal::notAnswered;
        line.bytes = count > 0 ? 6944 : 0;
        line.pictures = names;
        line.unit = watch->unitName(number);
        calls.append(line);
        callers.update(events, calls);
        watch->callEnded(line);
        return names;
    }
    // The clock moves on, and the supervision takes a look.
    void later(std::chrono::milliseconds ms) {
        world.clock.advance(std::uint32_t(ms.count()));
        watch->supervise();
    }
    const watch::BoardRow& row(int r) const { return board().rows().at(std::size_t(r)); }
    QString cell(int r, int column) const { return board().ui->ListView1->topLevelItem(r)->text(column); }
};

// The station's clock: 10.12.2026 12:00:00; its day is "today".
const QDateTime kNow(QDate(2026, 12, 10), QTime(12, 0));

// A fresh working folder, current while it lives.
struct Folder {
    QTemporaryDir dir;
    QString was = QDir::currentPath();
    Folder() { QDir::setCurrent(dir.path()); }
    ~Folder() { QDir::setCurrent(was); }
};

enum Column { cName, cNumber, cHeard, cCalls, cPictures, cUnseen, cState, cThumb };

// What station.csv says happened, in order: its "Событие" words.
QStringList stationWords() {
    QStringList words;
    for (const watch::Report& r : watch::StationLog().read()) words.append(watch::eventWord(r.event));
    return words;
}
QString lastStationText() {
    const auto all = watch::StationLog().read();
    return all.empty() ? QString() : all.back().text;
}

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

    void theBoardTellsHowEachUnitStands() {
        Folder folder;
        Station st;
        st.world.clock.base = kNow;
        watch::Book book;
        QVERIFY(book.add({"+79001112233", QStringLiteral("Склад"), QStringLiteral("ворота"), 24, true}).isEmpty());
        QVERIFY(book.add({"+79005550000", QStringLiteral("Дача"), {}, 0, false}).isEmpty());
        st.start();
        st.watch->openBoard();
        QVERIFY(st.board().isVisible());
        QCOMPARE(st.board().rows().size(), 2u);

        // Yesterday and today from the unit, however the network writes its number; today a
        // stranger whose picture has no file, a withheld number, and a stranger who only rang.
        st.call("+79001112233", kNow.addDays(-1), 2);
        const QList<QByteArray> today = st.call("89001112233", kNow.addSecs(-3600), 2);
        st.call("+79007778899", kNow.addSecs(-600), 1, false);
        st.call("", kNow.addSecs(-500), 1);
        st.call("+79001234567", kNow.addSecs(-400), 0);

        QCOMPARE(st.board().rows().size(), 3u);
        const watch::BoardRow& unit = st.row(0);
        QCOMPARE(st.cell(0, cName), QStringLiteral("Склад"));
        QCOMPARE(st.cell(0, cNumber), QStringLiteral("+79001112233"));
        QCOMPARE(st.cell(0, cHeard), QStringLiteral("10.12.2026 11:00:00"));
        QCOMPARE(st.cell(0, cCalls), QStringLiteral("1"));
        QCOMPARE(st.cell(0, cPictures), QStringLiteral("2"));
        QCOMPARE(st.cell(0, cUnseen), QStringLiteral("4"));
        QCOMPARE(unit.newestPicture, today.last());
        QVERIFY(!st.board().ui->ListView1->topLevelItem(0)->icon(cThumb).isNull());
        QCOMPARE(st.cell(1, cName), QStringLiteral("Дача"));
        QCOMPARE(st.cell(1, cHeard), QString());
        QCOMPARE(st.cell(1, cUnseen), QStringLiteral("0"));
        QCOMPARE(st.cell(2, cName), QStringLiteral("Неизвестный номер"));
        QCOMPARE(st.cell(2, cNumber), QStringLiteral("+79007778899"));
        QCOMPARE(st.cell(2, cCalls), QStringLiteral("1"));
        QCOMPARE(st.cell(2, cUnseen), QStringLiteral("1"));
        QVERIFY(st.board().ui->ListView1->topLevelItem(2)->icon(cThumb).isNull());  // no file, no picture

        // Seen in a pane of the main window: the unit's count goes down at once.
        st.watch->shown(today);
        QCOMPARE(st.cell(0, cUnseen), QStringLiteral("2"));

        // "Добавить в книгу": the stranger's number is filled in; the unit is in the file.
        QSignalSpy booked(st.watch.get(), &watch::Watch::bookChanged);
        st.board().choose(2);
        st.board().Button4Click();
        TForm7& dialog = *st.board().form7;
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ui->Edit1->text(), QStringLiteral("+79007778899"));
        dialog.ui->Edit2->setText(QStringLiteral("Гараж"));
        dialog.ui->Button1->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(booked.count(), 1);
        QVERIFY(readAll(watch::unitsFile).endsWith(cp(QStringLiteral("+79007778899;Гараж;;;нет\r\n"))));
        QCOMPARE(st.board().rows().size(), 3u);
        QCOMPARE(st.cell(2, cName), QStringLiteral("Гараж"));
        QCOMPARE(st.cell(2, cUnseen), QStringLiteral("1"));
        QCOMPARE(st.board().chosen(), 2);  // the same caller stays chosen
    }

    void theBookIsEditedFromTheBoard() {
        Folder folder;
        Station st;
        st.start("+79001112233");  // the unit of the settings, named "Объект"
        st.watch->openBoard();
        TForm6& board = st.board();
        TForm7& dialog = *board.form7;
        QSignalSpy booked(st.watch.get(), &watch::Watch::bookChanged);
        const QByteArray before = readAll(watch::unitsFile);

        // Refused: the book's reason in a box, the dialog open with what was typed, no write.
        board.Button1Click();
        dialog.ui->Edit1->setText(QStringLiteral("8 900 555-00-00"));
        dialog.ui->Edit2->setText(QStringLiteral("Дача"));
        dialog.ui->Button1->click();
        QCOMPARE(st.world.ui.messages.size(), 1);
        QVERIFY(st.world.ui.messages.last().text.contains(QStringLiteral("только цифры")));
        dialog.ui->Edit1->setText(QStringLiteral("89001112233"));  // the unit of the settings again
        dialog.ui->Button1->click();
        QVERIFY(st.world.ui.messages.last().text.contains(QStringLiteral("уже есть")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ui->Edit2->text(), QStringLiteral("Дача"));
        QCOMPARE(readAll(watch::unitsFile), before);
        QCOMPARE(booked.count(), 0);
        dialog.ui->Button2->click();
        QVERIFY(!dialog.isVisible());

        board.Button1Click();
        QCOMPARE(dialog.ui->Edit1->text(), QString());  // a new unit starts empty
        dialog.ui->Edit1->setText(QStringLiteral("+79005550000"));
        dialog.ui->Edit2->setText(QStringLiteral("Дача"));
        dialog.ui->SpinEdit1->setValue(12);
        dialog.ui->Button1->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(board.rows().size(), 2u);

        // The unit of the settings keeps its number, and stays in the book.
        board.choose(0);
        board.Button2Click();
        QVERIFY(dialog.ui->Edit1->isReadOnly());
        dialog.ui->Edit2->setText(QStringLiteral("Склад"));
        dialog.ui->Button1->click();
        QCOMPARE(st.cell(0, cName), QStringLiteral("Склад"));
        board.Button3Click();
        QCOMPARE(st.world.ui.questions.size(), 0);
        QVERIFY(st.world.ui.messages.last().text.contains(QStringLiteral("объект из установок")));
        QCOMPARE(board.rows().size(), 2u);

        // Removing asks first; "Нет" keeps the unit.
        board.choose(1);
        st.world.ui.replies = {false, true};
        board.Button3Click();
        QCOMPARE(board.rows().size(), 2u);
        board.Button3Click();
        QCOMPARE(board.rows().size(), 1u);
        QCOMPARE(booked.count(), 3);
        QCOMPARE(readAll(watch::unitsFile), kHeading + cp(QStringLiteral("+79001112233;Склад;;;нет\r\n")));
    }

    void theChosenUnitIsDialledAndItsPicturesOpened() {
        Folder folder;
        Station st;
        st.world.clock.base = kNow;
        QVERIFY(watch::Book().add({"+79005550000", QStringLiteral("Дача"), {}, 0, false}).isEmpty());
        st.shared = false;
        st.start("+79005550000");
        st.call("+79005550000", kNow.addSecs(-900), 1);
        st.call("+79005550000", kNow.addSecs(-600), 1);
        st.call("+79007778899", kNow.addSecs(-300), 1);
        st.watch->openBoard();
        TForm6& board = st.board();
        QCOMPARE(board.rows().size(), 2u);
        QCOMPARE(board.chosen(), 0);

        // The keys act wherever the focus is: on a button here. A stranger is not dialled.
        QTest::keyClick(board.ui->Button7, Qt::Key_Down);
        QCOMPARE(board.chosen(), 1);
        board.ui->Button5->click();
        QVERIFY(st.operations.dialled.isEmpty());
        QTest::keyClick(board.ui->Button1, Qt::Key_Up);
        QCOMPARE(board.chosen(), 0);
        st.operations.refusal = QStringLiteral("Порт занят: идёт прием");
        board.ui->Button5->click();
        QCOMPARE(st.operations.dialled, QList<QByteArray>{"+79005550000"});
        QCOMPARE(board.ui->Label1->text(), st.operations.refusal);

        QTest::keyClick(board.ui->Button5, Qt::Key_Return);
        QCOMPARE(st.operations.opened.size(), 1);
        QCOMPARE(st.operations.opened[0].first, watch::Filter::unit("89005550000"));
        QCOMPARE(st.operations.opened[0].second, 1);  // its newest event
        QTest::keyClick(board.ui->ListView1, Qt::Key_Down);
        QTest::keyClick(board.ui->ListView1, Qt::Key_Enter);
        QCOMPARE(st.operations.opened.size(), 2);
        QCOMPARE(st.operations.opened[1].first, watch::Filter::unknown());
        QCOMPARE(st.operations.opened[1].second, 2);
        QTest::keyClick(board.ui->Button3, Qt::Key_Escape);
        QVERIFY(!board.isVisible());
    }

    void whatWasSeenIsKeptAcrossARestart() {
        Folder folder;
        Station st;
        st.world.clock.base = kNow;
        QVERIFY(watch::Book().add({"+79005550000", QStringLiteral("Дача"), {}, 0, false}).isEmpty());
        // An archive from before anybody counted: its pictures count as seen.
        st.start();
        st.call("+79005550000", kNow.addDays(-2), 3);
        st.watch.reset();  // ends without writing what was seen
        QVERIFY(!QFile::exists(watch::seenFile));
        st.start();
        QCOMPARE(st.watch->seen().upTo(), 3);
        st.watch->openBoard();
        QCOMPARE(st.cell(0, cName), QStringLiteral("Дача"));
        QCOMPARE(st.row(0).unseen, 0);

        const QList<QByteArray> names = st.call("+79005550000", kNow.addSecs(-60), 3);
        QCOMPARE(st.row(0).unseen, 3);
        st.watch->shown({names[1]});
        QCOMPARE(st.row(0).unseen, 2);
        // Written a little after the change, and at the end.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(watch::seenFile).contains(names[1]), 30000);
        st.start();
        st.watch->openBoard();
        QCOMPARE(st.row(0).unseen, 2);
        QCOMPARE(st.watch->seen().upTo(), 3);
        QCOMPARE(st.watch->seen().after(), (std::set<int>{4}));
        QCOMPARE(readAll(watch::seenFile), cp(QStringLiteral("Номер;Снимок;Просмотрен\r\n")) + "2;" +
                                               st.pictures.at(2) + cp(QStringLiteral(";все до него\r\n")) + "4;" +
                                               names[1] + cp(QStringLiteral(";да\r\n")));
        // The one before it seen: all up to it are, and the list after them shrinks.
        st.watch->shown({names[0]});
        QCOMPARE(st.watch->seen().upTo(), 5);
        QVERIFY(st.watch->seen().after().empty());

        st.board().ui->Button7->click();  // Все просмотрены
        QCOMPARE(st.row(0).unseen, 0);
        st.start();
        st.watch->openBoard();
        QCOMPARE(st.row(0).unseen, 0);
        QCOMPARE(st.watch->seen().upTo(), 6);

        // The archive started anew, shorter than what was seen: the place is taken back.
        for (const QString& list : {archive::pictureList, archive::eventList}) QFile::remove(list);
        st.start();
        QCOMPARE(st.watch->seen().upTo(), 0);
        st.watch->openBoard();
        st.call("+79005550000", kNow, 1);
        QCOMPARE(st.row(0).unseen, 1);
        // The main window shows its first page before the station starts: that counts too.
        const QList<QByteArray> newest = st.call("+79005550000", kNow, 1);
        st.start("+79001112233", newest);
        st.watch->openBoard();
        QCOMPARE(st.row(0).unseen, 1);
    }

    // A unit is late after its interval and margin, not before; a call whose data phase began
    // brings it back. Each change is a line of station.csv, the title and one alert.
    void aUnitNotHeardForItsIntervalIsSilentUntilHeardAgain() {
        using namespace std::chrono_literals;
        Folder folder;
        Station st;
        watch::Book book;
        // The margins: 15 min for 2 h (a tenth would be less), 2 h 24 min for 24 h.
        QVERIFY(book.add({"+79001112233", QStringLiteral("Склад №2"), {}, 2, false}).isEmpty());
        QVERIFY(book.add({"+79005550000", QStringLiteral("Дача"), {}, 24, false}).isEmpty());
        st.start();
        const QDateTime heard = st.world.clock.now().addMSecs(-st.world.clock.now().time().msec());
        st.call("+79001112233", heard, 1);
        QSignalSpy reports(st.watch.get(), &watch::Watch::reported);
        st.later(2h + 15min);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList());
        QCOMPARE(reports.count(), 0);
        st.later(1s);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList{QStringLiteral("Склад №2")});
        QCOMPARE(stationWords(), QStringList{QStringLiteral("молчит")});
        QCOMPARE(lastStationText(), QStringLiteral("«Склад №2» молчит: не выходит на связь с %1 (интервал 2 ч)")
                                        .arg(journal::timeText(heard)));
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — молчит: Склад №2"));
        QCOMPARE(st.world.notices.alerts, 1);
        QCOMPARE(st.world.notices.messages, QStringList{lastStationText()});
        // Never heard: counted from the start of the station.
        st.later(24h + 2h + 24min - (2h + 15min + 1s));
        QCOMPARE(st.watch->supervisor().silentNames().size(), 1);
        st.later(1s);
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — молчит: Склад №2, Дача"));
        QVERIFY(lastStationText().contains(QStringLiteral("ни разу не выходил на связь")));
        QCOMPARE(reports.count(), 2);

        // The board: in red, with since when.
        st.watch->openBoard();
        QCOMPARE(st.cell(0, cState), QStringLiteral("молчит с 07.12 16:20"));
        QCOMPARE(st.board().ui->ListView1->topLevelItem(0)->foreground(cState).color(), QColor(Qt::red));

        // A call that only rang is not heard; one with its data phase is, however the number is written.
        st.call("+79001112233", st.world.clock.now(), 0);
        QCOMPARE(st.watch->supervisor().silentNames().size(), 2);
        st.call("89001112233", st.world.clock.now(), 1);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList{QStringLiteral("Дача")});
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — молчит: Дача"));
        QCOMPARE(stationWords(), (QStringList{"молчит", "молчит", "на связи"}));
        QCOMPARE(lastStationText(), QStringLiteral("«Склад №2» снова на связи"));
        QCOMPARE(st.world.notices.alerts, 3);
        QCOMPARE(st.cell(0, cState), QStringLiteral("на связи"));
        QCOMPARE(st.cell(1, cState), QStringLiteral("молчит с 08.12 16:29"));

        // station.csv is written as calls.csv is.
        const QByteArray csv = readAll(watch::stationFile);
        QVERIFY(csv.startsWith(cp(QStringLiteral("Время;Событие;Объект;Номер;Текст\r\n"))));
        QVERIFY(csv.contains(cp(QStringLiteral(";на связи;Склад №2;\xAD+79001112233;«Склад №2» снова на связи\r\n"))));
        QCOMPARE(csv.count("\r\n"), 4);
    }

    // A late unit whose check is "да" is called for a picture as soon as the port is free; a
    // picture keeps it on, none makes it silent, and the next check comes an interval later.
    void aLateUnitIsCheckedByACallAndEachOutcomeStands() {
        using namespace std::chrono_literals;
        Folder folder;
        Station st;
        watch::Book book;
        QVERIFY(book.add({"+79001112233", QStringLiteral("Склад №2"), {}, 1, true}).isEmpty());
        st.start();
        int pictures = 1;
        std::optional<watch::Supervisor::State> during;
        st.operations.onCheck = [&](const QByteArray& number) {
            during = st.watch->supervisor().stateOf(number)->state;
            st.call(number, st.world.clock.now(), pictures, true, QStringLiteral("проверка"));
        };
        st.later(1h + 15min);
        QVERIFY(st.operations.checked.isEmpty());
        st.later(1s);
        QCOMPARE(st.operations.checked, QList<QByteArray>{"+79001112233"});
        QCOMPARE(during, watch::Supervisor::State::Checking);
        QCOMPARE(stationWords(), (QStringList{"проверка", "на связи"}));
        QCOMPARE(lastStationText(), QStringLiteral("«Склад №2» на связи: проверка звонком принесла снимок"));
        QCOMPARE(st.world.notices.alerts, 0);  // nothing was wrong

        // A check that brings no picture: silent, at once.
        pictures = 0;
        st.later(1h + 15min + 1s);
        QCOMPARE(st.operations.checked.size(), 2);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList{QStringLiteral("Склад №2")});
        QCOMPARE(lastStationText(), QStringLiteral("«Склад №2» молчит: проверка звонком не удалась (не отвечен)"));
        QCOMPARE(st.world.notices.alerts, 1);
        // The next check an interval later, not at every look; a check that fails again
        // changes no alarm.
        st.later(59min);
        QCOMPARE(st.operations.checked.size(), 2);
        st.later(1min + 1s);
        QCOMPARE(st.operations.checked.size(), 3);
        QCOMPARE(st.world.notices.alerts, 1);
        // The port held (a reception, the operator's exchange, a dialog): the check waits.
        st.operations.free = false;
        st.later(1h + 1s);
        QCOMPARE(st.operations.checked.size(), 3);
        st.operations.free = true;
        pictures = 1;
        st.later(1s);
        QCOMPARE(st.operations.checked.size(), 4);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList());
        QCOMPARE(st.world.notices.alerts, 2);
        // No modem to check with: silent at once, checked when the modem is back.
        st.operations.modemState = watch::Modem::Gone;
        st.later(1h + 15min + 1s);
        QCOMPARE(st.operations.checked.size(), 4);
        QVERIFY(lastStationText().endsWith(QStringLiteral("проверить звонком нельзя: нет модема")));
        st.operations.modemState = watch::Modem::Ready;
        st.later(1s);
        QCOMPARE(st.operations.checked.size(), 5);
        QCOMPARE(stationWords(), (QStringList{"проверка", "на связи", "проверка", "молчит", "проверка", "молчит",
                                              "проверка", "на связи", "молчит", "проверка", "на связи"}));
    }

    // The start works the states out from the journal and from what station.csv last said;
    // a clock set forward or back raises no alarm and hides none.
    void aStartFindsWhatTheJournalTellsWhateverTheClockSays() {
        using namespace std::chrono_literals;
        Folder folder;
        Station st;
        st.world.clock.base = kNow;
        watch::Book book;
        QVERIFY(book.add({"+79001112233", QStringLiteral("Склад"), {}, 24, false}).isEmpty());
        QVERIFY(book.add({"+79005550000", QStringLiteral("Дача"), {}, 24, false}).isEmpty());
        {
            // Before this start: Склад heard 30 h ago; Дача's last call lies 3 h ahead, by a
            // clock that was wrong then and has been set back since.
            journal::Journal before;
            before.load();
            for (const auto& [number, at] : {std::pair{QByteArray("+79001112233"), kNow.addSecs(-30 * 3600)},
                                             std::pair{QByteArray("+79005550000"), kNow.addSecs(3 * 3600)}})
                QVERIFY(before.append({at, journal::Direction::Incoming, number, "снимок", "foto OK", 5000, {}, {}}));
        }
        st.start();
        st.watch->supervise();
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList{QStringLiteral("Склад")});
        st.later(26h + 24min);
        QCOMPARE(st.watch->supervisor().silentNames().size(), 1);
        st.later(1s);
        QCOMPARE(st.watch->supervisor().silentNames().size(), 2);
        QCOMPARE(stationWords(), (QStringList{"молчит", "молчит"}));
        // A restart: the same alarms, and no second line for them.
        st.start();
        st.watch->supervise();
        QCOMPARE(st.watch->supervisor().silentNames().size(), 2);
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — молчит: Склад, Дача"));
        QCOMPARE(stationWords().size(), 2);
        // While running, the clock's jumps do nothing either way.
        st.call("+79001112233", st.world.clock.now(), 1);
        st.world.clock.base = st.world.clock.base.addDays(3);
        st.later(1s);
        st.world.clock.base = st.world.clock.base.addDays(-5);
        st.later(1s);
        QCOMPARE(st.watch->supervisor().silentNames(), QStringList{QStringLiteral("Дача")});
        st.later(26h + 24min - 2s);
        QCOMPARE(st.watch->supervisor().silentNames().size(), 1);
        st.later(1s);
        QCOMPARE(st.watch->supervisor().silentNames().size(), 2);
        QCOMPARE(stationWords(), (QStringList{"молчит", "молчит", "на связи", "молчит"}));
    }

    // The modem gone or unprepared for more than a minute, and the disk that fills, are
    // reported as a silent unit is, each with its restore.
    void theStationsOwnFaultsAreReportedAndRestored() {
        using namespace std::chrono_literals;
        Folder folder;
        Station st;
        st.world.clock.base = kNow;
        st.start();
        st.operations.modemState = watch::Modem::Gone;
        st.later(1s);
        st.later(59s);
        QCOMPARE(stationWords(), QStringList());
        st.later(1s);
        QCOMPARE(stationWords(), QStringList{QStringLiteral("нет модема")});
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — нет модема"));
        QCOMPARE(st.world.notices.alerts, 1);
        st.operations.modemState = watch::Modem::Unprepared;  // plugged in, its firmware not up
        st.later(1s);
        st.later(61s);
        st.operations.modemState = watch::Modem::NotWanted;  // the station stops listening: nothing changes
        st.later(61s);
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo — модем не готов"));
        st.operations.modemState = watch::Modem::Ready;
        st.later(1s);
        QCOMPARE(stationWords(), (QStringList{"нет модема", "модем на месте", "модем не готов", "модем готов"}));
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo"));
        QCOMPARE(st.world.notices.alerts, 4);

        // A few pictures: the forecast does not count beyond ten years.
        constexpr qint64 MB = qint64(1) << 20;
        st.calls.append({st.world.clock.now().addDays(-1),
                         journal::Direction::Incoming,
                         "+79001112233",
                         "снимок",
                         "foto OK",
                         1024,
                         {},
                         {}});
        st.world.disk.free = 5 * 1024 * MB;
        st.later(61s);
        QCOMPARE(st.watch->supervisor().forecast(),
                 QStringLiteral("На диске свободно 5,0 ГБ, места хватит больше чем на 10 лет"));
        // 100 MB a day filed over the last ten days.
        for (int d = 10; d >= 1; --d)
            st.calls.append({st.world.clock.now().addDays(-d),
                             journal::Direction::Incoming,
                             "+79001112233",
                             "снимок",
                             "foto OK",
                             100 * MB,
                             {},
                             {}});
        st.world.disk.free = 5 * 1024 * MB;
        st.later(61s);
        QCOMPARE(st.watch->supervisor().daysLeft(), 51);
        st.world.disk.free = 2 * 1024 * MB;  // less than 30 days need
        st.later(61s);
        QCOMPARE(stationWords().last(), QStringLiteral("мало места"));
        QCOMPARE(lastStationText(),
                 QStringLiteral("Мало места: на диске свободно 2,0 ГБ, места хватит примерно на 20 дней"));
        st.watch->openBoard();
        QCOMPARE(st.board().ui->Label2->text(),
                 QStringLiteral("Станция: мало места. На диске свободно 2,0 ГБ, места хватит примерно на 20 дней"));
        st.world.disk.free = 3072 * MB;  // just above the need: not yet fine, so that it does not flap
        st.later(61s);
        QCOMPARE(stationWords().last(), QStringLiteral("мало места"));
        st.world.disk.free = 4 * 1024 * MB;
        st.later(61s);
        QCOMPARE(stationWords().last(), QStringLiteral("место есть"));
        QCOMPARE(st.window.windowTitle(), QStringLiteral("Ravlo"));
        // Below 1 GB the disk is low whatever the rate.
        st.calls = journal::Journal();
        st.world.disk.free = 900 * MB;
        st.later(61s);
        QCOMPARE(lastStationText(), QStringLiteral("Мало места: на диске свободно 900 МБ"));
    }

    void aPictureNotNumberedByItsPlaceIsFoundByName() {
        // A list put together by hand: the names' numbers are not their places.
        const archive::List pictures{"foto\\100000_101226f7", "foto\\100001_101226f3", "x\\a", "x\\b"};
        watch::Seen seen(file("seen-by-name.csv"));
        seen.load(archive::List{});
        QCOMPARE(seen.upTo(), 0);
        QCOMPARE(seen.mark({"x\\b", "foto\\100001_101226f3", "nowhere"}, pictures), (std::vector<int>{3, 1}));
        QCOMPARE(seen.place("foto\\100000_101226f7", pictures), 0);
        QVERIFY(seen.seen(1) && seen.seen(3) && !seen.seen(0) && !seen.seen(2));
        QVERIFY(seen.save(pictures));
        watch::Seen again(file("seen-by-name.csv"));
        again.load(pictures);
        QCOMPARE(again.after(), (std::set<int>{1, 3}));
    }
};

QTEST_MAIN(TestWatch)
#include "test_watch.moc"
