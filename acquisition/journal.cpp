#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace journal {

namespace {

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
constexpr int kFields = 7;
constexpr qsizetype kLongestLine = 64 * 1024;  // a line read back is never longer
constexpr qsizetype kUnwrittenLimit = 1000;    // lines kept while the file cannot be written

constexpr char kTextMark = '\xAD';  // the soft hyphen before a number: see journal.h

const std::array<QString, 3> directions = {QStringLiteral("входящий"), QStringLiteral("исходящий"),
                                           QStringLiteral("кабель")};

QByteArray heading() {
    return plat::toCp1251(QStringLiteral("Начало;Направление;Номер;Что;Итог;Байт;Снимки")) + "\r\n";
}

QByteArray field(QByteArray text) {
    text.replace('\r', ' ').replace('\n', ' ');
    if (!text.contains(';') && !text.contains('"')) return text;
    text.replace("\"", "\"\"");
    return '"' + text + '"';
}

// The fields of one line, quotes taken off; a quote left open makes the line no call's.
std::optional<QList<QByteArray>> fields(QByteArrayView line) {
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

// The start of a line, "dd.MM.yyyy hh:mm:ss;", as the number yyyyMMddhhmmss, which orders as
// the times do; -1 when the line does not begin with a valid time. Cheaper than parsing the
// time, for the journal of years is read at every start.
qint64 startKey(QByteArrayView line) {
    if (line.size() < 20 || line[19] != ';') return -1;
    const auto digits = [&](qsizetype at, int count) {
        int v = 0;
        for (qsizetype i = at; i < at + count; ++i) {
            if (line[i] < '0' || line[i] > '9') return -1;
            v = v * 10 + (line[i] - '0');
        }
        return v;
    };
    const int day = digits(0, 2), month = digits(3, 2), year = digits(6, 4);
    const int hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
    if (line[2] != '.' || line[5] != '.' || line[10] != ' ' || line[13] != ':' || line[16] != ':' ||
        !QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return -1;
    return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

QDateTime keyTime(qint64 key) {
    const auto part = [&](int divisor, int modulo) { return int(key / divisor % modulo); };
    return QDateTime(QDate(int(key / 10000000000), part(100000000, 100), part(1000000, 100)),
                     QTime(part(10000, 100), part(100, 100), part(1, 100)));
}

QList<QByteArray> names(QByteArrayView list) {
    QList<QByteArray> out;
    for (const QByteArray& n : list.toByteArray().split(' '))
        if (!n.isEmpty()) out.append(n);
    return out;
}

}  // namespace

QString timeText(const QDateTime& time) { return time.toString(timeFormat); }

Call storedLater(const Call& from, const QList<QByteArray>& pictures) {
    return {from.start, from.direction, from.number, from.what, filedLater, 0, pictures};
}

QByteArray formatLine(const Call& call) {
    QByteArray line = plat::toCp1251(timeText(call.start));
    line += ';' + plat::toCp1251(directions[std::size_t(call.direction)]);
    line += ';' + field(call.number.isEmpty() ? QByteArray() : kTextMark + call.number);
    line += ';' + field(plat::toCp1251(call.what));
    line += ';' + field(plat::toCp1251(call.outcome));
    line += ';' + QByteArray::number(call.bytes);
    line += ';' + field(call.pictures.join(' '));
    return line + "\r\n";
}

std::optional<Call> parseLine(QByteArrayView line) {
    const auto f = fields(line);
    if (!f || f->size() != kFields) return std::nullopt;
    Call call;
    call.start = QDateTime::fromString(QString::fromLatin1((*f)[0]), timeFormat);
    const QString direction = plat::fromCp1251((*f)[1]);
    const auto d = std::find(directions.begin(), directions.end(), direction);
    bool number = false;
    call.bytes = (*f)[5].toLongLong(&number);
    if (!call.start.isValid() || d == directions.end() || !number) return std::nullopt;
    call.direction = Direction(d - directions.begin());
    call.number = (*f)[2];
    if (call.number.startsWith(kTextMark)) call.number.remove(0, 1);
    call.what = plat::fromCp1251((*f)[3]);
    call.outcome = plat::fromCp1251((*f)[4]);
    call.pictures = names((*f)[6]);
    return call;
}

int pictureNumber(QByteArrayView name) {
    const qsizetype f = name.lastIndexOf('f');
    if (f < 0 || f + 1 >= name.size() || name.size() - f > 10) return -1;
    int n = 0;
    for (const char c : name.sliced(f + 1)) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

QString source(const Call& call) {
    const QString number = plat::fromCp1251(call.number);
    switch (call.direction) {
    case Direction::Incoming: return number.isEmpty() ? QStringLiteral("номер скрыт") : number;
    case Direction::Outgoing: return number.isEmpty() ? QStringLiteral("Снимок") : QStringLiteral("Снимок, ") + number;
    case Direction::Cable: return QStringLiteral("кабель");
    }
    return {};
}

void Journal::span(const QList<QByteArray>& pictures, int& first, int& last) {
    first = last = -1;
    for (const QByteArray& name : pictures) {
        const int n = pictureNumber(name);
        if (n < 0) continue;
        first = first < 0 ? n : std::min(first, n);
        last = std::max(last, n);
    }
}

void Journal::load() {
    places_.clear();
    lastHeard_.reset();
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly)) return;
    // Read in blocks, a line at a time: only the last field, the pictures, is looked at, and
    // the start of a line that names some.
    constexpr qint64 kBlock = 1 << 20;
    qint64 newest = -1;
    const auto take = [&](QByteArrayView line, qint64 offset) {
        const qsizetype sep = line.lastIndexOf(';');
        if (sep < 0) return;
        QByteArrayView list = line.sliced(sep + 1);
        while (!list.isEmpty() && list.back() == '\r') list.chop(1);
        int first = -1, last = -1;
        if (!list.isEmpty()) span(names(list), first, last);
        if (first < 0) return;
        places_.push_back({first, last, offset});
        newest = std::max(newest, startKey(line));
    };
    QByteArray data;
    qint64 base = 0;  // the file offset of data's first byte
    for (bool end = false; !end;) {
        const QByteArray block = f.read(kBlock);
        end = block.isEmpty();
        data += block;
        qsizetype from = 0;
        while (from < data.size()) {
            qsizetype eol = data.indexOf('\n', from);
            if (eol < 0 && !end) break;
            if (eol < 0) eol = data.size();
            if (eol > from) take(QByteArrayView(data).sliced(from, eol - from), base + from);
            from = eol + 1;
        }
        from = std::min(from, data.size());
        base += from;
        data.remove(0, from);
        if (data.size() > kLongestLine) {
            // No line of ours is that long: the rest of it is skipped.
            base += data.size();
            data.clear();
        }
    }
    places_.shrink_to_fit();
    if (newest >= 0) lastHeard_ = keyTime(newest);
    qCInfo(lcArchive, "%s: %zu calls with pictures", qUtf8Printable(fileName_), places_.size());
}

bool Journal::append(const Call& call) {
    Unwritten u{formatLine(call)};
    span(call.pictures, u.first, u.last);
    if (unwritten_.size() == kUnwrittenLimit) unwritten_.removeFirst();
    unwritten_.append(u);
    if (!call.pictures.isEmpty() && (!lastHeard_ || call.start > *lastHeard_)) lastHeard_ = call.start;
    QByteArray lines;
    for (const Unwritten& w : unwritten_) lines += w.line;
    const qint64 at = plat::appendLines(fileName_, lines, heading());
    if (at < 0) {
        qCInfo(lcArchive, "%s not written: %lld line(s) kept for the next call", qUtf8Printable(fileName_),
               qint64(unwritten_.size()));
        return false;
    }
    qint64 offset = at;
    for (const Unwritten& w : unwritten_) {
        if (w.first >= 0) places_.push_back({w.first, w.last, offset});
        offset += w.line.size();
    }
    unwritten_.clear();
    return true;
}

std::optional<Call> Journal::readAt(qint64 offset) const {
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) return std::nullopt;
    return parseLine(f.readLine(kLongestLine));
}

std::optional<Call> Journal::callOf(const QByteArray& pictureName) const {
    const int n = pictureNumber(pictureName);
    if (n < 0) return std::nullopt;
    // Newest first: a number given again after the archive was started anew belongs to the
    // newer picture, and the name itself decides.
    for (auto p = places_.rbegin(); p != places_.rend(); ++p) {
        if (n < p->first || n > p->last) continue;
        if (auto call = readAt(p->offset); call && call->pictures.contains(pictureName)) return call;
    }
    for (const Unwritten& w : unwritten_)
        if (n >= w.first && n <= w.last)
            if (auto call = parseLine(w.line); call && call->pictures.contains(pictureName)) return call;
    return std::nullopt;
}

}  // namespace journal
