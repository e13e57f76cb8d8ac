#include "viewer/dayindex.h"

#include "acquisition/archive.h"
#include "viewer/eventline.h"

namespace viewer {

std::optional<QDateTime> eventTime(QByteArrayView line) {
    const EventLine event = parseEventLine(QByteArray::fromRawData(line.data(), line.size()), 1);
    if (event.names.isEmpty()) return std::nullopt;
    return pictureTime(event.names[0]);
}

DayIndex::Change DayIndex::update(const archive::List& events) {
    Change change;
    if (events.count() < indexed_) {
        days_.clear();
        indexed_ = 0;
        change.rebuilt = true;
    }
    // Most events follow one another on the same day: the day last used is tried first.
    auto last = days_.end();
    for (; indexed_ < events.count(); ++indexed_) {
        const auto time = eventTime(events.view(indexed_));
        if (!time) continue;
        const qint64 day = time->date().toJulianDay();
        if (last == days_.end() || last->first != day) {
            auto [at, isNew] = days_.try_emplace(day);
            if (isNew) change.added.push_back(time->date());
            last = at;
        }
        last->second.push_back(indexed_);
    }
    return change;
}

std::span<const int> DayIndex::events(QDate day) const {
    const auto at = days_.find(day.toJulianDay());
    if (at == days_.end()) return {};
    return at->second;
}

std::optional<QDate> DayIndex::nearest(QDate day) const {
    if (days_.empty()) return std::nullopt;
    const qint64 wanted = day.toJulianDay();
    const auto after = days_.lower_bound(wanted);  // the day itself or the first after it
    if (after == days_.begin()) return QDate::fromJulianDay(after->first);
    const auto before = std::prev(after);
    if (after == days_.end() || wanted - before->first < after->first - wanted)
        return QDate::fromJulianDay(before->first);
    return QDate::fromJulianDay(after->first);
}

std::vector<QDate> DayIndex::days() const {
    std::vector<QDate> out;
    out.reserve(days_.size());
    for (const auto& [day, events] : days_) out.push_back(QDate::fromJulianDay(day));
    return out;
}

}  // namespace viewer
