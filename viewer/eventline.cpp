#include "viewer/eventline.h"
#include "acquisition/journal.h"
#include "platform/toolkit.h"

#include <QString>
#include <algorithm>

namespace viewer {

namespace {
// Takes the field up to the next comma off the front of rest and keeps at most the next
// step's length of what follows it.
QByteArray takeField(QByteArray& rest) {
    const qsizetype comma = rest.indexOf(',');
    QByteArray field = comma < 0 ? rest : rest.left(comma);
    rest = comma < 0 ? QByteArray() : rest.mid(comma + 1, kEventStep);
    return field;
}
}  // namespace

EventLine parseEventLine(const QByteArray& line, int maxNames) {
    EventLine out;
    QByteArray rest = line;
    out.count = plat::strToIntDef(QString::fromLatin1(takeField(rest)), 0);
    const int wanted = std::clamp(out.count, 0, std::max(maxNames, 0));
    out.names.reserve(wanted);
    for (int i = 0; i < wanted; ++i) out.names.append(takeField(rest));
    return out;
}

QByteArray firstName(QByteArrayView line) {
    return parseEventLine(QByteArray::fromRawData(line.data(), line.size()), 1).names.value(0);
}

namespace {
// The names of a line, one after the other, from the field after its count.
template <typename Each> void eachName(QByteArrayView line, Each&& each) {
    qsizetype at = line.indexOf(',');
    while (at >= 0 && at + 1 < line.size()) {
        const qsizetype next = line.indexOf(',', at + 1);
        const QByteArrayView field = line.sliced(at + 1, (next < 0 ? line.size() : next) - at - 1);
        if (!each(field)) return;
        at = next;
    }
}

// The number of an event's first picture, -1 when it has none or its name carries none.
int firstNumber(QByteArrayView line) {
    int number = -1;
    eachName(line, [&](QByteArrayView field) {
        number = field.isEmpty() ? -1 : journal::pictureNumber(field);
        return false;
    });
    return number;
}
}  // namespace

bool eventHolds(QByteArrayView line, QByteArrayView name) {
    bool found = false;
    eachName(line, [&](QByteArrayView field) {
        found = field == name;
        return !found;
    });
    return found;
}

int eventOf(const archive::List& events, QByteArrayView name) {
    const int number = journal::pictureNumber(name);
    int found = -1;
    int lo = 0, hi = events.count() - 1;
    while (number >= 0 && lo <= hi) {
        // The newest event from the middle back whose first picture has a number.
        const int mid = lo + (hi - lo) / 2;
        int probe = mid, key = -1;
        while (probe >= lo && (key = firstNumber(events.view(probe))) < 0) --probe;
        if (probe < lo) {
            lo = mid + 1;
        } else if (key <= number) {
            found = probe;
            lo = mid + 1;
        } else {
            hi = probe - 1;
        }
    }
    if (found >= 0 && eventHolds(events.view(found), name)) return found;
    for (int k = events.count() - 1; k >= 0; --k)
        if (eventHolds(events.view(k), name)) return k;
    return -1;
}

}  // namespace viewer
