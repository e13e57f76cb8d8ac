#include "viewer/eventline.h"
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

}  // namespace viewer
