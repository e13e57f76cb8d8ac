#pragma once
// The rows of the board "Объекты", worked out from the book, the journal and the archive in one
// pass over each, with no window: a row for every unit of the book, in the book's order, then
// one for each number that called and is not in the book, the newest caller first.
#include "acquisition/archivelist.h"
#include "acquisition/callers.h"
#include "acquisition/journal.h"
#include "watch/book.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace watch {

class Seen;

// At most this many numbers not in the book get a row: a station called by strangers every
// day keeps the rows of its own units in sight.
inline constexpr int kUnknownRows = 30;

struct BoardRow {
    int unit = -1;                       // the row in the book; -1 for a number the book does not hold
    QByteArray number;                   // the book's number, or the number as the newest call wrote it
    QString name;                        // the unit's name; empty for a number the book does not hold
    std::optional<QDateTime> lastHeard;  // the start of the newest call whose data phase began
    int callsToday = 0;
    int picturesToday = 0;
    int unseen = 0;            // pictures not yet seen
    int newestEvent = -1;      // in the event list; -1 when it has none
    QByteArray newestPicture;  // the newest picture's list name; empty when it has none

    bool known() const { return unit >= 0; }
    // The filter that shows the row's events in "Архив".
    Filter filter() const { return known() ? Filter::unit(number) : Filter::unknown(); }
};

struct BoardInput {
    const Book& book;
    const archive::List& pictures;
    const archive::List& events;
    const journal::Journal& calls;
    const archive::Callers& callers;
    Seen& seen;  // its index of names may grow
    QDate today;
};

struct BoardRows {
    std::vector<BoardRow> rows;
    // For each number of the journal (a place in calls.numbers()), the row its calls and
    // pictures count in; -1 for none (a withheld number, or a stranger beyond kUnknownRows).
    std::vector<int> rowOf;

    // The row event k's pictures count in, -1 when none does: no call of the journal names
    // the event, or its number has no row.
    int rowOfEvent(const archive::Callers& callers, int event) const;
};

BoardRows boardRows(const BoardInput& in);

}  // namespace watch
