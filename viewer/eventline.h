#pragma once
// Reading one line of the event list: "<count>,<name>,<name>,...," with the names in the order
// the pictures were filed. The reader never fails: a count that is not a number is 0, and a
// name that is missing is empty.
#include "acquisition/archivelist.h"

#include <QByteArray>
#include <QByteArrayView>
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

// The first picture an event line names, as parseEventLine reads it; empty when it names none.
QByteArray firstName(QByteArrayView line);

// Whether an event line names the picture (its list name, without ".jpg") among all its names.
bool eventHolds(QByteArrayView line, QByteArrayView name);

// The event of the list that holds the picture, -1 when none does. Filing numbers pictures in
// the order it files them and writes their events in the same order, so the event is found by
// halving on the number of each event's first picture, at a few lines read even in an archive
// of years; a list put together otherwise is searched from its newest event back.
int eventOf(const archive::List& events, QByteArrayView name);

}  // namespace viewer
