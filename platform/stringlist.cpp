#include "platform/stringlist.h"
#include "platform/durable.h"
#include "platform/toolkit.h"

#include <QFile>

namespace plat {

QList<QByteArray> StringList::parse(const QByteArray& content) {
    QList<QByteArray> out;
    const qsizetype nul = content.indexOf('\0');
    const qsizetype end = nul < 0 ? content.size() : nul;
    qsizetype start = 0, i = 0;
    while (i < end) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            out.append(content.mid(start, i - start));
            if (c == '\r' && i + 1 < end && content[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < end) out.append(content.mid(start, end - start));
    return out;
}

QByteArray StringList::format(const QList<QByteArray>& lines) {
    QByteArray out;
    qsizetype size = 0;
    for (const auto& l : lines) size += l.size() + 2;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void StringList::load(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) throw ToolkitError(QStringLiteral("Cannot open file %1").arg(fileName));
    lines_ = parse(f.readAll());
}

void StringList::save(const QString& fileName) const {
    if (!writeFileAtomic(fileName, format(lines_)))
        throw ToolkitError(QStringLiteral("Cannot create file %1").arg(fileName));
}

const QByteArray& StringList::at(int n) const {
    if (n < 0 || n >= lines_.size()) throw ToolkitError(QStringLiteral("List index out of bounds (%1)").arg(n));
    return lines_[n];
}

void StringList::put(int n, const QByteArray& text) {
    if (n >= 0 && n < lines_.size()) lines_[n] = text;
    else if (n == lines_.size()) lines_.append(text);
    else throw ToolkitError(QStringLiteral("Unable to insert a line"));
}

}  // namespace plat
