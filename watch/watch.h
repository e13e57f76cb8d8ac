#pragma once
// The watch station: the book of units, the board "Объекты" and what was seen. The main
// window owns it; it learns what happens from the main window's signals, connected to its
// public operations below, and acts only through Operations. It never reaches into the main
// window: this library links without it.
#include "acquisition/archivelist.h"
#include "acquisition/journal.h"
#include "platform/platform.h"
#include "watch/book.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QWidget;
class TForm6;

namespace watch {

// What the station asks of the main window.
class Operations {
public:
    virtual ~Operations() = default;
    // Dials the number and asks its unit for a picture, as "Снимок" does (the same attempts,
    // "Отмена", panels and journal line); returns once that exchange has ended. Empty when it
    // ran; otherwise why it could not begin (another exchange holds the port, say).
    virtual QString snapshot(const QByteArray& number) = 0;
    // Opens "Архив" with the filter, on the day of event k (the newest day when k is -1).
    virtual void openArchive(const Filter& filter, int event) = 0;
};

// What the station reads of the archive, owned by the main window and only read here.
struct Archive {
    const archive::List& pictures;  // files.txt
    const archive::List& events;    // events.txt
    const journal::Journal& calls;  // calls.csv
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

signals:
    // The book changed: a unit was added, changed or removed.
    void bookChanged();

private:
    plat::Platform& sys_;
    Archive archive_;
    Operations& operations_;
    QWidget* owner_;
    Book book_;
    std::unique_ptr<TForm6> board_;
};

}  // namespace watch
