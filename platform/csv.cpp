#include "platform/csv.h"

namespace plat {

QByteArray csvField(QByteArray text) {
    text.replace('\r', ' ').replace('\n', ' ');
    if (!text.contains(';') && !text.contains('"')) return text;
    text.replace("\"", "\"\"");
    return '"' + text + '"';
}

std::optional<QList<QByteArray>> csvFields(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r')) line.chop(1);
    QList<QByteArray> out(1);
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') out.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"') out.back() += c, ++i;
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            out.append(QByteArray());
        } else {
            out.back() += c;
        }
    }
    if (quoted) return std::nullopt;
    return out;
}

}  // namespace plat
