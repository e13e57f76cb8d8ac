// The event-line reader: any line gives a count and at most the asked-for number of names,
// none longer than one parsing step keeps, none holding a comma; and a line the filing would
// write reads back as written. The time of its first picture, when it gives one, is a valid
// time of the years 2000 to 2099 that a picture named at that time gives back.
#include "acquisition/archive.h"
#include "viewer/dayindex.h"
#include "viewer/eventline.h"
#include "viewer/export.h"
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const QByteArray line(reinterpret_cast<const char*>(data), qsizetype(size));
    for (int maxNames : {0, 1, 4}) {
        const viewer::EventLine e = viewer::parseEventLine(line, maxNames);
        if (e.names.size() > maxNames) std::abort();
        if (e.count <= 0 && !e.names.isEmpty()) std::abort();
        if (e.count > 0 && e.names.size() != std::min(e.count, maxNames)) std::abort();
        for (const auto& n : e.names)
            if (n.size() > viewer::kEventStep || n.contains(',')) std::abort();
    }
    // Build a well-formed line from the input's comma-free pieces and read it back. Each
    // parsing step keeps at most kEventStep characters of what is left, so only a line that
    // short is certain to come back whole.
    QList<QByteArray> names;
    for (const auto& piece : line.split(','))
        if (!piece.isEmpty() && piece.size() < 200 && names.size() < 6) names.append(piece);
    QByteArray written = QByteArray::number(names.size());
    for (const auto& n : names) written += ',' + n;
    written += ',';
    const viewer::EventLine back = viewer::parseEventLine(written, 6);
    if (!names.isEmpty() && written.size() <= viewer::kEventStep && (back.count != names.size() || back.names != names))
        std::abort();
    if (const auto t = viewer::eventTime(line)) {
        if (!t->isValid() || t->date().year() < 2000 || t->date().year() > 2099) std::abort();
        if (pictureTime(pictureName(*t, 7)) != *t) std::abort();
    }
    (void)viewer::exportName(line);
    return 0;
}
