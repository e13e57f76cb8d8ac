#pragma once
// The book of units, units.csv in the working folder: the camera units that call this station,
// each with its number, its name and how it is watched. Windows-1251 text, ";" between fields,
// CR LF lines, a heading first:
//   Номер;Название;Комментарий;Интервал, ч;Проверка звонком
//   +79001112233;Склад №2;ворота;24;да
// "Интервал, ч" is a whole number of hours (empty or 0: not watched); "Проверка звонком" is
// "да" or "нет" (empty: "нет"). The file is read at the start and written whole, through a
// temporary file and a rename, whenever the operator changes the book. A file that cannot be
// read, or holds lines that cannot, is never written: the operator's own file is not replaced
// by what this program understood of it.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace watch {

inline const QString unitsFile = QStringLiteral("units.csv");
// The name the unit of the settings gets when the book does not hold its number.
inline const QString defaultName = QStringLiteral("Объект");

// The number that tells a unit, however the network writes it: for a Russian number its last
// ten digits ("+79001112233", "89001112233", "79001112233" and "9001112233" are one unit);
// for any other, all its digits, an international prefix ("+", "00", "810") taken off. Empty
// for a number without digits (withheld), which is no unit's.
QByteArray nationalNumber(QByteArrayView number);

struct Unit {
    QByteArray number;  // as the operator wrote it, dialled as it stands
    QString name;
    QString comment;
    int interval = 0;    // hours without a call after which the unit is late; 0: not watched
    bool check = false;  // a late unit is called for a picture
    bool operator==(const Unit&) const = default;
};

// Which events a view shows: all, one unit's, or those of numbers the book does not hold
// (withheld numbers and events no call names among them).
struct Filter {
    enum class Kind { All, Unit, Unknown };
    Kind kind = Kind::All;
    QByteArray key;  // the unit's national number, for Kind::Unit
    static Filter all() { return {}; }
    static Filter unknown() { return {Kind::Unknown, {}}; }
    static Filter unit(QByteArrayView number) { return {Kind::Unit, nationalNumber(number)}; }
    bool operator==(const Filter&) const = default;
};

class Book {
public:
    explicit Book(QString fileName = unitsFile) : fileName_(std::move(fileName)) {}

    // Reads the file; a missing file is an empty book. Returns what the operator must be told,
    // empty when all was read: the file that cannot be opened, or the lines that cannot be
    // read (those that can are used).
    QString load();
    // The unit of the settings is always in the book: a number it does not hold is added,
    // named "Объект", and the book written when it may be. False when nothing was added.
    bool ensure(QByteArrayView number);

    const QList<Unit>& units() const { return units_; }
    // The row of the number's unit, -1 when the book holds none.
    int find(QByteArrayView number) const;
    // The name of the number's unit, empty when the book holds none.
    QString nameOf(QByteArrayView number) const;
    // Whether an event or a call from this number is one the filter shows.
    bool passes(const Filter& filter, QByteArrayView number) const;

    // Why the unit may not be written into row `row` (-1: as a new one), empty when it may:
    // a number that is not digits with an optional leading "+", one the book holds in another
    // row, a name missing, an interval out of range.
    QString fault(const Unit& unit, int row = -1) const;
    // Each changes the book and writes it whole. Returns why nothing was changed, empty when
    // all went well: the unit's fault, a file the book will not overwrite, a failed write.
    QString add(const Unit& unit);
    QString replace(int row, const Unit& unit);
    QString remove(int row);
    // The book may be written: its file was read whole, or there was none.
    bool writable() const { return writable_; }

    // One unit's line, and a line read back (with or without its line break); nothing for a
    // line that is no unit's.
    static QByteArray formatLine(const Unit& unit);
    static std::optional<Unit> parseLine(QByteArrayView line);

private:
    QString write(QList<Unit> units);

    QString fileName_;
    QList<Unit> units_;
    QList<QByteArray> keys_;  // the national numbers of units_, row for row
    bool writable_ = true;
    QString unreadable_;  // why the file is not written, for the operator
};

}  // namespace watch
