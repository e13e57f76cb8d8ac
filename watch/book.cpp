#include "watch/book.h"

#include "platform/cp1251.h"
#include "platform/csv.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QFile>
#include <QStringDecoder>

namespace watch {

namespace {

constexpr int kFields = 5;
constexpr int kMaxInterval = 24 * 366;  // a year of hours: more is a typing error
constexpr qsizetype kMaxNumber = 20;

const QString yes = QStringLiteral("да");
const QString no = QStringLiteral("нет");

QByteArray heading() {
    return plat::toCp1251(QStringLiteral("Номер;Название;Комментарий;Интервал, ч;Проверка звонком")) + "\r\n";
}

bool isNumber(QByteArrayView number) {
    if (number.startsWith('+')) number = number.sliced(1);
    if (number.isEmpty() || number.size() > kMaxNumber) return false;
    for (const char c : number)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

QByteArray nationalNumber(QByteArrayView number) {
    QByteArray digits;
    for (const char c : number)
        if (c >= '0' && c <= '9') digits += c;
    const bool international = number.trimmed().startsWith('+');
    if (!international) {
        // A Russian number in its national forms: 10 digits, or 11 with the trunk 8 or the 7.
        if (digits.size() == 10) return digits;
        if (digits.size() == 11 && (digits[0] == '8' || digits[0] == '7')) return digits.right(10);
        // An international number dialled with a prefix instead of the "+".
        if (digits.startsWith("00")) digits.remove(0, 2);
        else if (digits.startsWith("810")) digits.remove(0, 3);
        else return digits;
    }
    if (digits.size() == 11 && digits[0] == '7') return digits.right(10);
    return digits;
}

QByteArray Book::formatLine(const Unit& unit) {
    QByteArray line = plat::csvField(unit.number);
    line += ';' + plat::csvField(plat::toCp1251(unit.name));
    line += ';' + plat::csvField(plat::toCp1251(unit.comment));
    line += ';' + (unit.interval > 0 ? QByteArray::number(unit.interval) : QByteArray());
    line += ';' + plat::toCp1251(unit.check ? yes : no);
    return line + "\r\n";
}

std::optional<Unit> Book::parseLine(QByteArrayView line) {
    const auto f = plat::csvFields(line);
    // A spreadsheet may leave the empty fields at the end off, or add empty ones.
    if (!f) return std::nullopt;
    QList<QByteArray> fields = *f;
    while (fields.size() > kFields && fields.back().trimmed().isEmpty()) fields.removeLast();
    if (fields.size() > kFields) return std::nullopt;
    fields.resize(kFields);
    Unit unit;
    unit.number = fields[0].trimmed();
    if (!isNumber(unit.number)) return std::nullopt;
    unit.name = plat::fromCp1251(fields[1]).trimmed();
    unit.comment = plat::fromCp1251(fields[2]).trimmed();
    const QByteArray interval = fields[3].trimmed();
    bool ok = true;
    unit.interval = interval.isEmpty() ? 0 : interval.toInt(&ok);
    if (!ok || unit.interval < 0 || unit.interval > kMaxInterval) return std::nullopt;
    const QString check = plat::fromCp1251(fields[4]).trimmed().toLower();
    if (check != yes && check != no && !check.isEmpty()) return std::nullopt;
    unit.check = check == yes;
    return unit;
}

QString Book::load() {
    units_.clear();
    keys_.clear();
    writable_ = true;
    unreadable_.clear();
    QFile f(fileName_);
    if (!f.exists()) return {};
    if (!f.open(QIODevice::ReadOnly)) {
        writable_ = false;
        unreadable_ = QStringLiteral("Файл %1 не читается (%2)").arg(fileName_, f.errorString());
        return unreadable_;
    }
    QByteArray text = f.readAll();
    // A file saved by a spreadsheet as UTF-8 with its mark is read as that.
    if (text.startsWith("\xEF\xBB\xBF")) text = plat::toCp1251(QString::fromUtf8(text.sliced(3)));
    const QList<QByteArray> lines = text.split('\n');
    QStringList bad;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || (i == 0 && line + "\r\n" == heading())) continue;
        const auto unit = parseLine(line);
        const QByteArray key = unit ? nationalNumber(unit->number) : QByteArray();
        if (!unit || keys_.contains(key)) {
            bad << QString::number(i + 1);
            continue;
        }
        units_.append(*unit);
        keys_.append(key);
    }
    if (bad.isEmpty()) return {};
    writable_ = false;
    unreadable_ = QStringLiteral("В файле %1 не прочитаны строки %2; книга объектов не будет записана, пока "
                                 "они не исправлены")
                      .arg(fileName_, bad.join(QStringLiteral(", ")));
    qCInfo(lcArchive, "%s", qUtf8Printable(unreadable_));
    return unreadable_;
}

bool Book::ensure(QByteArrayView number) {
    if (nationalNumber(number).isEmpty() || find(number) >= 0) return false;
    Unit unit{number.toByteArray().trimmed(), defaultName, {}, 0, false};
    if (!isNumber(unit.number)) return false;  // a number the settings hold that no unit line can
    QList<Unit> units = units_;
    units.append(unit);
    // A book that may not or cannot be written keeps the unit for this run, so that the
    // station knows its unit; the file stays as it is.
    if (!writable_ || !write(units).isEmpty()) {
        units_ = units;
        keys_.append(nationalNumber(unit.number));
    }
    return true;
}

int Book::find(QByteArrayView number) const {
    const QByteArray key = nationalNumber(number);
    return key.isEmpty() ? -1 : int(keys_.indexOf(key));
}

QString Book::nameOf(QByteArrayView number) const {
    const int row = find(number);
    return row < 0 ? QString() : units_[row].name;
}

bool Book::passes(const Filter& filter, QByteArrayView number) const {
    switch (filter.kind) {
    case Filter::Kind::All: return true;
    case Filter::Kind::Unit: return !filter.key.isEmpty() && nationalNumber(number) == filter.key;
    case Filter::Kind::Unknown: return find(number) < 0;
    }
    return false;
}

QString Book::fault(const Unit& unit, int row) const {
    const QByteArray number = unit.number.trimmed();
    if (number.isEmpty()) return QStringLiteral("Введите номер телефона объекта");
    if (!isNumber(number))
        return QStringLiteral("Номер «%1» не годится: только цифры, в начале может стоять «+», не длиннее %2 цифр")
            .arg(plat::fromCp1251(number))
            .arg(kMaxNumber);
    const int other = find(number);
    if (other >= 0 && other != row)
        return QStringLiteral("Номер %1 уже есть в книге: объект «%2»")
            .arg(plat::fromCp1251(number), units_[other].name);
    if (unit.name.trimmed().isEmpty()) return QStringLiteral("Введите название объекта");
    if (unit.interval < 0 || unit.interval > kMaxInterval)
        return QStringLiteral("Интервал — целое число часов от 0 до %1").arg(kMaxInterval);
    return {};
}

QString Book::add(const Unit& unit) {
    if (QString why = fault(unit); !why.isEmpty()) return why;
    QList<Unit> units = units_;
    units.append(unit);
    return write(units);
}

QString Book::replace(int row, const Unit& unit) {
    if (row < 0 || row >= units_.size()) return QStringLiteral("Объект не выбран");
    if (QString why = fault(unit, row); !why.isEmpty()) return why;
    QList<Unit> units = units_;
    units[row] = unit;
    return write(units);
}

QString Book::remove(int row) {
    if (row < 0 || row >= units_.size()) return QStringLiteral("Объект не выбран");
    QList<Unit> units = units_;
    units.removeAt(row);
    return write(units);
}

QString Book::write(QList<Unit> units) {
    if (!writable_) return unreadable_;
    for (Unit& u : units) {
        u.number = u.number.trimmed();
        u.name = u.name.trimmed();
        u.comment = u.comment.trimmed();
    }
    QByteArray text = heading();
    for (const Unit& u : units) text += formatLine(u);
    if (!plat::writeFileAtomic(fileName_, text))
        return QStringLiteral("Книга объектов не записана: файл %1 не создаётся").arg(fileName_);
    units_ = std::move(units);
    keys_.clear();
    for (const Unit& u : units_) keys_.append(nationalNumber(u.number));
    return {};
}

}  // namespace watch
