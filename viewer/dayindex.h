#pragma once
// The days of the archive, for finding pictures by their date: for every day that has
// pictures, the events filed on it. An event's day and time are those of its first picture's
// name (hhmmss_ddmmyy). The index follows the event list as it grows, reading only the lines
// added since it last looked.
#include "acquisition/archivelist.h"

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace viewer {

// The time of an event line's first picture; nothing for a line with no pictures or whose
// first name gives no time.
std::optional<QDateTime> eventTime(QByteArrayView line);

class DayIndex {
public:
    // Which events a query keeps (those of one unit, say); an empty one keeps every event.
    using Keep = std::function<bool(int event)>;

    struct Change {
        bool rebuilt = false;      // the list was read again from its start
        std::vector<QDate> added;  // days that have pictures now and had none before
    };
    // Takes in the events added to the list since the last update. A list that got shorter
    // (loaded again, say) is read again whole.
    Change update(const archive::List& events);

    bool has(QDate day) const { return days_.count(day.toJulianDay()) != 0; }
    // The indexes of the day's events, in the list's order; none for a day without pictures.
    std::span<const int> events(QDate day) const;
    // Those of them that `keep` keeps.
    std::vector<int> events(QDate day, const Keep& keep) const;
    // The day itself when it has events kept, else the nearest one that has; of two as near,
    // the later. Nothing when no day has.
    std::optional<QDate> nearest(QDate day, const Keep& keep = {}) const;
    // Every day that has events kept, oldest first.
    std::vector<QDate> days(const Keep& keep = {}) const;
    // The newest event kept: the last of the newest day that has one; -1 when none is.
    int newest(const Keep& keep = {}) const;
    bool isEmpty() const { return days_.empty(); }

private:
    using Days = std::map<qint64, std::vector<int>>;
    static bool keeps(Days::const_iterator day, const Keep& keep);

    Days days_;        // Julian day -> events
    int indexed_ = 0;  // events of the list read so far
};

}  // namespace viewer
