#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/csv.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>

namespace journal {

namespace {

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
constexpr int kOldFields = 7;                  // lines written before the unit's name was kept
constexpr int kFields = 8;                     // the unit's name last
constexpr qsizetype kLongestLine = 64 * 1024;  // a line read back is never longer
constexpr qsizetype kUnwrittenLimit = 1000;    // lines kept while the file cannot be written

enum Field { Start, Way, Number, What, Outcome, Bytes, Pictures, Unit };

constexpr char kTextMark = '\xAD';  // the soft hyphen before a number: see journal.h

const std::array<QString, 3> directions = {QStringLiteral("входящий"), QStringLiteral("исходящий"),
                                           QStringLiteral("кабель")};

// The words of the file that the index compares, as the file holds them.
struct Words {
    std::array<QByteArray, 3> directions;
    QByteArray filedLater;
};
const Words& words() {
    static const Words w{{plat::toCp1251(directions[0]), plat::toCp1251(directions[1]), plat::toCp1251(directions[2])},
                         plat::toCp1251(journal::filedLater)};
    return w;
}

// The fields of one line as they stand in it, quotes left on: views into the line, cut at the
// separators outside quotes (a doubled quote within a quoted field closes and opens it again,
// so it cuts nothing). Nothing is copied, for the journal of years is read at every start.
struct Raw {
    std::array<QByteArrayView, kFields> fields;
    int count = 0;        // 0 for a quote left open or more fields than a call has
    bool quotes = false;  // a field holds a quote
};
// The high bit of every byte of `word` that is `c`.
std::uint64_t bytesOf(std::uint64_t word, char c) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t x = word ^ (0x0101010101010101ull * std::uint8_t(c));
    return ~(((x & low7) + low7) | x | low7);
}

Raw split(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r')) line.chop(1);
    Raw raw;
    const char* from = line.data();
    const char* const end = from + line.size();
    const auto cut = [&](const char* at) {
        if (raw.count == kFields - 1) return false;
        raw.fields[std::size_t(raw.count++)] = QByteArrayView(from, at - from);
        from = at + 1;
        return true;
    };
    raw.quotes = line.indexOf('"') >= 0;
    const char* p = from;
    if (!raw.quotes && std::endian::native == std::endian::little) {
        // The common line, without quotes: its separators found eight bytes at a time.
        for (; end - p >= 8; p += 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            for (std::uint64_t at = bytesOf(word, ';'); at != 0; at &= at - 1)
                if (!cut(p + std::countr_zero(at) / 8)) return {};
        }
    }
    bool quoted = false;
    for (; p != end; ++p) {
        if (*p == ';' && !quoted) {
            if (!cut(p)) return {};
        } else if (*p == '"') {
            quoted = !quoted;
        }
    }
    if (quoted) return {};
    raw.fields[std::size_t(raw.count++)] = QByteArrayView(from, end - from);
    return raw;
}

// A field's text, its quotes taken off as plat::csvFields takes them off: a doubled quote
// within quotes is one. Copied into `room` only when the line has quotes, which our lines have
// only in a field that holds ";" or a quote.
QByteArrayView text(const Raw& raw, Field f, QByteArray& room) {
    const QByteArrayView field = raw.fields[f];
    if (!raw.quotes || field.indexOf('"') < 0) return field;
    room.clear();
    bool quoted = false;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '"') room += c;
        else if (quoted && i + 1 < field.size() && field[i + 1] == '"') room += c, ++i;
        else quoted = !quoted;
    }
    return room;
}

// The bytes of the data phase; nothing when the field is no number.
std::optional<qint64> byteCount(QByteArrayView field) {
    // Our lines write plain digits: read without the general conversion.
    if (!field.isEmpty() && field.size() <= 18) {
        qint64 v = 0;
        bool digits = true;
        for (const char c : field) {
            digits = digits && c >= '0' && c <= '9';
            v = v * 10 + (c - '0');
        }
        if (digits) return v;
    }
    bool ok = false;
    const qint64 v = field.toLongLong(&ok);
    return ok ? std::optional(v) : std::nullopt;
}

// A start, "dd.MM.yyyy hh:mm:ss", as the number yyyyMMddhhmmss, which orders as the times do;
// -1 when it is no valid time. Cheaper than parsing the time.
qint64 startKey(QByteArrayView start) {
    if (start.size() != 19) return -1;
    const auto digits = [&](qsizetype at, int count) {
        int v = 0;
        for (qsizetype i = at; i < at + count; ++i) {
            if (start[i] < '0' || start[i] > '9') return -1;
            v = v * 10 + (start[i] - '0');
        }
        return v;
    };
    const int day = digits(0, 2), month = digits(3, 2), year = digits(6, 4);
    const int hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
    if (start[2] != '.' || start[5] != '.' || start[10] != ' ' || start[13] != ':' || start[16] != ':' ||
        !QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return -1;
    return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

QDateTime keyTime(qint64 key) {
    const auto part = [&](int divisor, int modulo) { return int(key / divisor % modulo); };
    return QDateTime(QDate(int(key / 10000000000), part(100000000, 100), part(1000000, 100)),
                     QTime(part(10000, 100), part(100, 100), part(1, 100)));
}

int directionOf(QByteArrayView word) {
    const auto& all = words().directions;
    const auto d = std::find(all.begin(), all.end(), word);
    return d == all.end() ? -1 : int(d - all.begin());
}

QByteArrayView withoutMark(QByteArrayView number) { return number.startsWith(kTextMark) ? number.sliced(1) : number; }

// The names of the pictures field, one after the other; blanks between them.
template <typename Each> void eachName(QByteArrayView list, Each&& each) {
    for (qsizetype at = 0; at < list.size();) {
        qsizetype end = list.indexOf(' ', at);
        if (end < 0) end = list.size();
        if (end > at) each(list.sliced(at, end - at));
        at = end + 1;
    }
}

// FNV-1a: a picture's name told from others of the same number at four bytes a line.
std::uint32_t nameHash(QByteArrayView name) {
    std::uint32_t h = 2166136261u;
    for (const char c : name) h = (h ^ std::uint8_t(c)) * 16777619u;
    return h;
}

}  // namespace

QString timeText(const QDateTime& time) { return time.toString(timeFormat); }

std::optional<QDateTime> parseTime(QByteArrayView text) {
    const qint64 key = startKey(text);
    if (key < 0) return std::nullopt;
    return keyTime(key);
}

QByteArray numberField(QByteArrayView number) {
    return number.isEmpty() ? QByteArray() : kTextMark + number.toByteArray();
}

QByteArray numberOf(QByteArrayView field) { return withoutMark(field).toByteArray(); }

QByteArray heading() {
    return plat::toCp1251(QStringLiteral("Начало;Направление;Номер;Что;Итог;Байт;Снимки;Объект")) + "\r\n";
}

Call storedLater(const Call& from, const QList<QByteArray>& pictures) {
    return {from.start, from.direction, from.number, from.what, filedLater, 0, pictures, from.unit};
}

QByteArray formatLine(const Call& call) {
    QByteArray line = plat::toCp1251(timeText(call.start));
    line += ';' + plat::toCp1251(directions[std::size_t(call.direction)]);
    line += ';' + plat::csvField(numberField(call.number));
    line += ';' + plat::csvField(plat::toCp1251(call.what));
    line += ';' + plat::csvField(plat::toCp1251(call.outcome));
    line += ';' + QByteArray::number(call.bytes);
    line += ';' + plat::csvField(call.pictures.join(' '));
    line += ';' + plat::csvField(plat::toCp1251(call.unit));
    return line + "\r\n";
}

std::optional<Call> parseLine(QByteArrayView line) {
    const auto f = plat::csvFields(line);
    if (!f || (f->size() != kOldFields && f->size() != kFields)) return std::nullopt;
    const qint64 start = startKey((*f)[Start]);
    const int direction = directionOf((*f)[Way]);
    const std::optional<qint64> bytes = byteCount((*f)[Bytes]);
    if (start < 0 || direction < 0 || !bytes) return std::nullopt;
    Call call;
    call.start = keyTime(start);
    call.direction = Direction(direction);
    call.bytes = *bytes;
    call.number = numberOf((*f)[Number]);
    call.what = plat::fromCp1251((*f)[What]);
    call.outcome = plat::fromCp1251((*f)[Outcome]);
    eachName((*f)[Pictures], [&](QByteArrayView name) { call.pictures.append(name.toByteArray()); });
    if (f->size() == kFields) call.unit = plat::fromCp1251((*f)[Unit]);
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

QString source(const Call& call, const QString& unit) {
    const QString who = unit.isEmpty() ? plat::fromCp1251(call.number) : unit;
    switch (call.direction) {
    case Direction::Incoming: return who.isEmpty() ? QStringLiteral("номер скрыт") : who;
    case Direction::Outgoing: return who.isEmpty() ? QStringLiteral("Снимок") : QStringLiteral("Снимок, ") + who;
    case Direction::Cable: return QStringLiteral("кабель");
    }
    return {};
}

QDateTime Journal::Entry::startTime() const { return start > 0 ? keyTime(start) : QDateTime(); }

int Journal::numberPlace(QByteArrayView number) {
    // Most lines hold the number of the line before.
    if (!numbers_.isEmpty() && numbers_[lastNumber_] == number) return lastNumber_;
    const auto at = numberPlaces_.constFind(QByteArray::fromRawData(number.data(), number.size()));
    if (at != numberPlaces_.cend()) return lastNumber_ = *at;
    numbers_.append(number.toByteArray());
    numberPlaces_.insert(numbers_.back(), int(numbers_.size() - 1));
    return lastNumber_ = int(numbers_.size() - 1);
}

int Journal::index(QByteArrayView line, qint64 offset) {
    const Raw raw = split(line);
    if (raw.count != kOldFields && raw.count != kFields) return -1;
    // A field's text is used before the next one is taken: they may share the room.
    QByteArray room;
    Entry e;
    e.start = startKey(text(raw, Start, room));
    const int direction = directionOf(text(raw, Way, room));
    const std::optional<qint64> bytes = byteCount(text(raw, Bytes, room));
    if (e.start < 0 || direction < 0 || !bytes) return -1;
    e.direction = Direction(direction);
    e.bytes = *bytes;
    e.number = numberPlace(withoutMark(text(raw, Number, room)));
    e.later = text(raw, Outcome, room) == QByteArrayView(words().filedLater);
    Place place{-1, -1, -1, 0, int(entries_.size()), offset};
    eachName(text(raw, Pictures, room), [&](QByteArrayView name) {
        const int k = pictureNumber(name);
        if (e.pictures++ == 0) {
            place.key = k;
            place.hash = nameHash(name);
        }
        if (k < 0) return;
        place.first = place.first < 0 ? k : std::min(place.first, k);
        place.last = std::max(place.last, k);
    });
    e.heard = *bytes > 0 || e.pictures > 0;
    if (e.pictures > 0) newest_ = std::max(newest_, e.start);
    entries_.push_back(e);
    if (place.first < 0) return -1;
    places_.push_back(place);
    return int(places_.size() - 1);
}

void Journal::load() {
    entries_.clear();
    numbers_.clear();
    numberPlaces_.clear();
    places_.clear();
    byKey_.clear();
    newest_ = -1;
    lastHeard_.reset();
    const auto indexed = qScopeGuard([this] {
        // Lines kept unwritten from before come after the file's.
        for (Unwritten& u : unwritten_) u.place = index(u.line, -1);
        byKey_.resize(places_.size());
        std::iota(byKey_.begin(), byKey_.end(), 0);
        // The file's order within a key, the newest last. Filing numbers pictures as it goes,
        // so the lines are in that order already but where the archive was started anew.
        const auto byKey = [&](int a, int b) { return places_[std::size_t(a)].key < places_[std::size_t(b)].key; };
        if (!std::is_sorted(byKey_.begin(), byKey_.end(), byKey)) std::stable_sort(byKey_.begin(), byKey_.end(), byKey);
        if (newest_ >= 0) lastHeard_ = keyTime(newest_);
    });
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly)) return;
    // Room for the lines the file's size suggests (ours are longer than 60 bytes), so that the
    // list is not copied as it grows; room not used is never touched.
    entries_.reserve(std::size_t(f.size() / 60 + 1));
    // Read in blocks, a line at a time, each line looked at where it lies in the block.
    constexpr qint64 kBlock = 1 << 20;
    QByteArray data;
    qint64 base = 0;  // the file offset of data's first byte
    for (bool end = false; !end;) {
        const qsizetype kept = data.size();
        data.resize(kept + kBlock);
        const qint64 got = f.read(data.data() + kept, kBlock);
        data.resize(kept + std::max<qint64>(got, 0));
        end = got <= 0;
        qsizetype from = 0;
        while (from < data.size()) {
            qsizetype eol = data.indexOf('\n', from);
            if (eol < 0 && !end) break;
            if (eol < 0) eol = data.size();
            if (eol > from) index(QByteArrayView(data).sliced(from, eol - from), base + from);
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
    qCInfo(lcArchive, "%s: %zu calls, %zu with pictures", qUtf8Printable(fileName_), entries_.size(), places_.size());
}

bool Journal::append(const Call& call) {
    Unwritten u{formatLine(call)};
    u.place = index(u.line, -1);
    if (u.place >= 0) {
        const int key = places_[std::size_t(u.place)].key;
        byKey_.insert(std::upper_bound(byKey_.begin(), byKey_.end(), key,
                                       [&](int k, int p) { return k < places_[std::size_t(p)].key; }),
                      u.place);
    }
    if (newest_ >= 0) lastHeard_ = keyTime(newest_);
    // The oldest line kept goes; the index keeps it, but it can no longer be read back.
    if (unwritten_.size() == kUnwrittenLimit) unwritten_.removeFirst();
    unwritten_.append(u);
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
        if (w.place >= 0) places_[std::size_t(w.place)].offset = offset;
        offset += w.line.size();
    }
    unwritten_.clear();
    return true;
}

std::optional<Call> Journal::readAt(int place) const {
    const Place& p = places_[std::size_t(place)];
    if (p.offset < 0) {
        for (const Unwritten& w : unwritten_)
            if (w.place == place) return parseLine(w.line);
        return std::nullopt;
    }
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(p.offset)) return std::nullopt;
    return parseLine(f.readLine(kLongestLine));
}

int Journal::lineOf(QByteArrayView firstPicture) const {
    const int n = pictureNumber(firstPicture);
    if (n < 0) return -1;
    const std::uint32_t hash = nameHash(firstPicture);
    const auto from = std::lower_bound(byKey_.begin(), byKey_.end(), n,
                                       [&](int p, int k) { return places_[std::size_t(p)].key < k; });
    int found = -1;
    for (auto i = from; i != byKey_.end() && places_[std::size_t(*i)].key == n; ++i)
        if (places_[std::size_t(*i)].hash == hash) found = places_[std::size_t(*i)].entry;
    return found;
}

std::optional<Call> Journal::read(int entry) const {
    const auto at =
        std::lower_bound(places_.begin(), places_.end(), entry, [](const Place& p, int e) { return p.entry < e; });
    if (at == places_.end() || at->entry != entry) return std::nullopt;
    return readAt(int(at - places_.begin()));
}

std::optional<Call> Journal::callOf(const QByteArray& pictureName) const {
    const int n = pictureNumber(pictureName);
    if (n < 0) return std::nullopt;
    // An event's first picture is the first its line names: that line is found at once.
    if (const int e = lineOf(pictureName); e >= 0)
        if (auto call = read(e); call && call->pictures.contains(pictureName)) return call;
    // Newest first: a number given again after the archive was started anew belongs to the
    // newer picture, and the name itself decides.
    for (auto p = places_.rbegin(); p != places_.rend(); ++p) {
        if (n < p->first || n > p->last) continue;
        if (auto call = readAt(int(places_.rend() - p - 1)); call && call->pictures.contains(pictureName)) return call;
    }
    return std::nullopt;
}

}  // namespace journal
