// The list-file reader: whatever a file holds, reading what a save wrote gives the same
// lines back, and no line holds a line end or a NUL byte.
#include "platform/stringlist.h"
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto lines = plat::StringList::parse(content);
    for (const auto& l : lines)
        if (l.contains('\r') || l.contains('\n') || l.contains('\0')) std::abort();
    const QByteArray saved = plat::StringList::format(lines);
    if (plat::StringList::parse(saved) != lines) std::abort();
    if (plat::StringList::format(plat::StringList::parse(saved)) != saved) std::abort();
    return 0;
}
