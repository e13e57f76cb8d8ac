#include "acquisition/callers.h"

#include "viewer/eventline.h"

namespace archive {

bool Callers::update(const List& events, const journal::Journal& calls) {
    bool changed = false;
    const std::size_t lines = calls.entries().size();
    if (std::size_t(events.count()) < events_.size() || lines < lines_) {
        events_.clear();
        unnamed_ = 0;
        changed = true;
    }
    const auto look = [&](int k) {
        const int line = calls.lineOf(viewer::firstName(events.view(k)));
        return Caller{line, line < 0 ? -1 : calls.entries()[std::size_t(line)].number};
    };
    // The events after the newest named one wait for their line while the journal grows.
    if (lines != lines_) {
        for (int k = unnamed_; k < int(events_.size()); ++k) {
            events_[std::size_t(k)] = look(k);
            changed = changed || events_[std::size_t(k)].line >= 0;
        }
    }
    events_.reserve(std::size_t(events.count()));
    for (int k = int(events_.size()); k < events.count(); ++k) {
        events_.push_back(look(k));
        changed = true;
    }
    for (int k = int(events_.size()); k > unnamed_; --k) {
        if (events_[std::size_t(k - 1)].line >= 0) {
            unnamed_ = k;
            break;
        }
    }
    lines_ = lines;
    if (changed) ++changes_;
    return changed;
}

int Callers::numberOf(int event) const {
    return event >= 0 && event < int(events_.size()) ? events_[std::size_t(event)].number : -1;
}

int Callers::lineOf(int event) const {
    return event >= 0 && event < int(events_.size()) ? events_[std::size_t(event)].line : -1;
}

}  // namespace archive
