#include "watch/boardrows.h"

#include "watch/seen.h"

#include <QHash>

#include <algorithm>

namespace watch {

namespace {

// What the journal tells of one unit, or of one number the book does not hold.
struct Tally {
    qint64 heard = -1;     // the start of the newest call whose data phase began
    int heardEntry = -1;   // and its entry
    qint64 newest = -1;    // the newest start of a call that was heard or brought pictures
    int newestPlace = -1;  // the number as that call wrote it
    int calls = 0, pictures = 0;
};

// The names of an event line, "<count>,<name>,<name>,...,", without a copy.
template <class F> void forEachName(QByteArrayView line, F&& f) {
    qsizetype at = line.indexOf(',');
    while (at >= 0 && at + 1 < line.size()) {
        const qsizetype end = line.indexOf(',', at + 1);
        const QByteArrayView name = line.sliced(at + 1, (end < 0 ? line.size() : end) - at - 1);
        if (!name.isEmpty()) f(name);
        at = end;
    }
}

}  // namespace

int BoardRows::rowOfEvent(const archive::Callers& callers, int event) const {
    const int place = callers.numberOf(event);
    return place >= 0 && place < int(rowOf.size()) ? rowOf[std::size_t(place)] : -1;
}

BoardRows boardRows(const BoardInput& in) {
    const QList<Unit>& units = in.book.units();
    const QList<QByteArray>& numbers = in.calls.numbers();

    // Every number of the journal gets its tally: a unit's, or that of its national number,
    // however many ways the network wrote it.
    std::vector<int> tallyOf(std::size_t(numbers.size()), -1);
    std::vector<Tally> tallies(std::size_t(units.size()));
    QHash<QByteArray, int> strangers;
    for (qsizetype p = 0; p < numbers.size(); ++p) {
        const QByteArray key = nationalNumber(numbers[p]);
        if (key.isEmpty()) continue;  // withheld
        int t = in.book.find(numbers[p]);
        if (t < 0) {
            auto it = strangers.find(key);
            if (it == strangers.end()) {
                it = strangers.insert(key, int(tallies.size()));
                tallies.emplace_back();
            }
            t = *it;
        }
        tallyOf[std::size_t(p)] = t;
    }

    // One pass over the journal: when each was heard, and its calls and pictures of today.
    const qint64 today = qint64(in.today.year()) * 10000 + in.today.month() * 100 + in.today.day();
    const std::vector<journal::Journal::Entry>& entries = in.calls.entries();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const journal::Journal::Entry& entry = entries[e];
        if (entry.number < 0 || entry.number >= int(tallyOf.size())) continue;
        const int t = tallyOf[std::size_t(entry.number)];
        if (t < 0) continue;
        Tally& tally = tallies[std::size_t(t)];
        const bool isToday = entry.start / 1000000 == today;
        if (isToday) tally.pictures += entry.pictures;
        // Pictures stored after their call are that call's: the call itself was counted.
        if (entry.later) continue;
        if (isToday) ++tally.calls;
        if (entry.heard && entry.start >= tally.heard) {
            tally.heard = entry.start;
            tally.heardEntry = int(e);
        }
        if ((entry.heard || entry.pictures > 0) && entry.start >= tally.newest) {
            tally.newest = entry.start;
            tally.newestPlace = entry.number;
        }
    }

    BoardRows out;
    std::vector<int> rowOfTally(tallies.size(), -1);
    const auto rowFor = [&](int t, int unit, QByteArray number, QString name) {
        const Tally& tally = tallies[std::size_t(t)];
        BoardRow row;
        row.unit = unit;
        row.number = std::move(number);
        row.name = std::move(name);
        if (tally.heardEntry >= 0) row.lastHeard = entries[std::size_t(tally.heardEntry)].startTime();
        row.callsToday = tally.calls;
        row.picturesToday = tally.pictures;
        rowOfTally[std::size_t(t)] = int(out.rows.size());
        out.rows.push_back(std::move(row));
    };
    for (qsizetype u = 0; u < units.size(); ++u) rowFor(int(u), int(u), units[u].number, units[u].name);
    // Strangers that were heard or sent pictures, the newest first; a ring alone is no caller.
    std::vector<int> heard;
    for (std::size_t t = std::size_t(units.size()); t < tallies.size(); ++t)
        if (tallies[t].newest >= 0) heard.push_back(int(t));
    std::sort(heard.begin(), heard.end(),
              [&](int a, int b) { return tallies[std::size_t(a)].newest > tallies[std::size_t(b)].newest; });
    if (heard.size() > std::size_t(kUnknownRows)) heard.resize(std::size_t(kUnknownRows));
    for (const int t : heard) rowFor(t, -1, numbers[tallies[std::size_t(t)].newestPlace], {});

    out.rowOf.assign(tallyOf.size(), -1);
    for (std::size_t p = 0; p < tallyOf.size(); ++p)
        if (tallyOf[p] >= 0) out.rowOf[p] = rowOfTally[std::size_t(tallyOf[p])];

    // One pass over the events: each row's newest event and picture, and its pictures not yet
    // seen.
    for (int k = 0; k < in.events.count(); ++k) {
        const int r = out.rowOfEvent(in.callers, k);
        if (r < 0) continue;
        BoardRow& row = out.rows[std::size_t(r)];
        row.newestEvent = k;
        forEachName(in.events.view(k), [&](QByteArrayView name) {
            const int place = in.seen.place(name, in.pictures);
            if (place >= 0 && !in.seen.seen(place)) ++row.unseen;
        });
    }
    for (BoardRow& row : out.rows)
        if (row.newestEvent >= 0)
            forEachName(in.events.view(row.newestEvent),
                        [&](QByteArrayView name) { row.newestPicture = name.toByteArray(); });
    return out;
}

}  // namespace watch
