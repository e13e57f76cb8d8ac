#pragma once
// The watch station: the book of units, the board "Объекты" and what was seen. The main
// window owns it; it learns what happens from the main window's signals, connected to its
// public operations below, and acts only through Operations. It never reaches into the main
// window: this library links without it.
#include "acquisition/archivelist.h"
#include "acquisition/callers.h"
#include "acquisition/journal.h"
#include "platform/platform.h"
#include "watch/boardrows.h"
#include "watch/book.h"
#include "watch/operations.h"
#include "watch/seen.h"
#include "watch/stationlog.h"
#include "watch/supervisor.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

class QWidget;
class TForm6;

namespace watch {

// What the station reads of the archive, owned by the main window and only read here.
struct Archive {
    const archive::List& pictures;  // files.txt
    const archive::List& events;    // events.txt
    const journal::Journal& calls;  // calls.csv
    // Who each event came from, when the main window keeps it up to date before it tells the
    // station anything; without it the station keeps an index of its own, brought up to date
    // only when the board works its rows out.
    const archive::Callers* callers = nullptr;
};

class Watch : public QObject {
    Q_OBJECT
public:
    // `owner`: the window the board stays over.
    Watch(plat::Platform& sys, Archive archive, Operations& operations, QWidget* owner);
    ~Watch() override;

    // At the start, once the lists and the journal are loaded: reads the book (the operator
    // is told of lines that cannot be read) and what was seen; the unit of the settings joins
    // the book.
    void start(const QByteArray& unitNumber);
    // At the end: what was seen is written.
    void finish();

    const Book& book() const { return book_; }
    // The name of the number's unit, empty when the book holds none.
    QString unitName(QByteArrayView number) const { return book_.nameOf(number); }

    // The board "Объекты": shown, or raised when it is open.
    void openBoard();
    TForm6* board() const { return board_.get(); }

    // What the main window tells: a call ended, with its journal line; an event was filed;
    // pictures were shown (in a pane of the main window, in "Архив" or whole), by their list
    // names; the settings' unit number changed.
    void callEnded(const journal::Call& line);
    void filed();
    void shown(const QList<QByteArray>& names);
    void unitNumberChanged(const QByteArray& number);

    // What the board does: each changes the book, writes it whole and tells bookChanged, or
    // returns why it did not (the book's refusal).
    QString addUnit(const Unit& unit);
    QString changeUnit(int row, const Unit& unit);
    QString removeUnit(int row);
    // Whether the number is that of the unit of the settings, which stays in the book.
    bool isSettingsUnit(QByteArrayView number) const;
    // Why the unit of row `row` may not be removed (it is the unit of the settings), empty
    // when it may.
    QString kept(int row) const;
    // Every picture of the archive is seen.
    void allSeen();

    const Seen& seen() const { return seen_; }
    // The supervision of the units and of the station itself.
    const Supervisor& supervisor() const { return supervisor_; }
    // One look of the supervision, as its timer makes every kSuperviseEvery.
    void supervise() { supervisor_.pass(); }
    // The owner's title: its own, followed by the silent units and the station's faults
    // ("Ravlo — молчит: Склад №2; нет модема").
    QString title() const;
    // Who each event came from, as things stand.
    const archive::Callers& callers();
    // The input of the board's rows, as things stand.
    BoardInput boardInput();
    plat::Platform& sys() const { return sys_; }
    Operations& operations() const { return operations_; }
    const Archive& archive() const { return archive_; }

    // How long after a change of what was seen it is written.
    static constexpr int kSeenDelayMs = 3000;
    static constexpr std::chrono::seconds kSuperviseEvery{5};

signals:
    // The book changed: a unit was added, changed or removed.
    void bookChanged();
    // The supervision wrote a change to station.csv; `alarm`: the silent units or the
    // station's faults changed with it, and the operator was alerted.
    void reported(const watch::Report& report, bool alarm);

private:
    plat::Platform& sys_;
    Archive archive_;
    Operations& operations_;
    QWidget* owner_;
    void seenChanged();
    QString booked(QString why);
    void saveSeen();
    void onReport(const Report& report, bool alarm);
    void showTitle();

    Book book_;
    Seen seen_;
    archive::Callers callers_;  // when the main window keeps none
    QByteArray unitNumber_;
    bool started_ = false;           // start() has read the book and what was seen
    QList<QByteArray> shownBefore_;  // pictures shown before it
    QTimer seenTimer_;               // writes what was seen a little after it changed
    Supervisor supervisor_;
    QTimer superviseTimer_;
    QString ownTitle_;  // the owner's title without the alarms
    std::unique_ptr<TForm6> board_;
};

}  // namespace watch
