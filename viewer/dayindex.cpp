#include "viewer/dayindex.h"

#include "acquisition/archive.h"
#include "viewer/eventline.h"

#include <algorithm>
#include <iterator>

namespace viewer {

std::optional<QDateTime> eventTime(QByteArrayView line) {
    const QByteArray first = firstName(line);
    if (first.isEmpty()) return std::nullopt;
    return pictureTime(first);
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

std::vector<int> DayIndex::events(QDate day, const Keep& keep) const {
    const std::span<const int> all = events(day);
    if (!keep) return {all.begin(), all.end()};
    std::vector<int> out;
    std::copy_if(all.begin(), all.end(), std::back_inserter(out), keep);
    return out;
}

bool DayIndex::keeps(Days::const_iterator day, const Keep& keep) {
    return !keep || std::any_of(day->second.begin(), day->second.end(), keep);
}

std::optional<QDate> DayIndex::nearest(QDate day, const Keep& keep) const {
    const qint64 wanted = day.toJulianDay();
    auto after = days_.lower_bound(wanted);  // the day itself or the first after it
    while (after != days_.end() && !keeps(after, keep)) ++after;
    auto before = days_.lower_bound(wanted);
    bool found = false;
    while (before != days_.begin() && !found) found = keeps(--before, keep);
    if (!found && after == days_.end()) return std::nullopt;
    if (after == days_.end() || (found && wanted - before->first < after->first - wanted))
        return QDate::fromJulianDay(before->first);
    return QDate::fromJulianDay(after->first);
}

std::vector<QDate> DayIndex::days(const Keep& keep) const {
    std::vector<QDate> out;
    out.reserve(days_.size());
    for (auto d = days_.begin(); d != days_.end(); ++d)
        if (keeps(d, keep)) out.push_back(QDate::fromJulianDay(d->first));
    return out;
}

int DayIndex::newest(const Keep& keep) const {
    for (auto d = days_.rbegin(); d != days_.rend(); ++d) {
        const auto at = keep ? std::find_if(d->second.rbegin(), d->second.rend(), keep) : d->second.rbegin();
        if (at != d->second.rend()) return *at;
    }
    return -1;
}

}  // namespace viewer
