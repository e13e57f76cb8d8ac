#include "platform/toolkit.h"

namespace plat {

namespace {
bool parseInt(const QString& text, int& out) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (!ok) return false;
    out = v;
    return true;
}
}  // namespace

int strToInt(const QString& text) {
    int v = 0;
    if (!parseInt(text, v)) throw ToolkitError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

int strToIntDef(const QString& text, int fallback) {
    int v = 0;
    return parseInt(text, v) ? v : fallback;
}

}  // namespace plat
