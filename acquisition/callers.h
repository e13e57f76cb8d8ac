#pragma once
// Who each event came from: the number of the call whose journal line names the event's first
// picture (an event is the pictures of one filing, and its call's line names them in the same
// order). Follows the event list and the journal as they grow, reading only the journal's index,
// never its file, at one look-up an event.
//
// An event is filed before its call's line is written, at the call's end; so the events after
// the newest one a line names are looked up again whenever the journal has grown, until a line
// names them. Those are the events of the call under way, or, before any call of the archive
// was journaled, the events filed before the journal was kept.
#include "acquisition/archivelist.h"
#include "acquisition/journal.h"

#include <vector>

namespace archive {

class Callers {
public:
    // Takes in the events and the journal's lines added since the last update; an event list
    // or a journal that got shorter (read again) is looked at again whole. True when an
    // event was added or its caller became known.
    bool update(const List& events, const journal::Journal& calls);
    // How many updates have changed something: a reader that shares the index with others
    // learns from it whether there is anything new since it last looked.
    unsigned changes() const { return changes_; }
    // The place in calls.numbers() of event k's number; -1 when no line names its first
    // picture (a picture filed before the journal was kept, or outside a call).
    int numberOf(int event) const;
    // The place in calls.entries() of the line that names event k's first picture; -1 as above.
    int lineOf(int event) const;

private:
    struct Caller {
        int line = -1;
        int number = -1;
    };
    std::vector<Caller> events_;
    std::size_t lines_ = 0;  // the journal's lines at the last update
    int unnamed_ = 0;        // no line names the events from here on
    unsigned changes_ = 0;
};

}  // namespace archive
