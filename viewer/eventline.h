#pragma once
// Reading one line of the event list: "<count>,<name>,<name>,...," with the names in the order
// the pictures were filed. The reader never fails: a count that is not a number is 0, and a
// name that is missing is empty.
#include <QByteArray>
#include <QList>

namespace viewer {

// After each field read, at most this many characters of the rest of the line are kept.
inline constexpr int kEventStep = 1000;

struct EventLine {
    int count = 0;            // the stored count, as written (it may be negative)
    QList<QByteArray> names;  // the first min(count, maxNames) names; none when count <= 0
};

// Reads the count (the text before the first comma) and the first names of an event line.
// Each name ends at the next comma; when the kept text holds no further comma, the name is
// the rest of it, and after that the names are empty.
EventLine parseEventLine(const QByteArray& line, int maxNames);

}  // namespace viewer
