#pragma once
// The journal of calls, calls.csv in the working folder: one line for every call, appended and
// on the disk when the call ends, never rewritten. A line holds the local date and time of the
// call's start, its direction, the number, what it was, its outcome as the status bar told it,
// the bytes of its data phase, the base names of the pictures filed from it and the name the
// book of units gave the number then (empty for a number not in the book):
//   10.12.2026 05:19:06;входящий;\xAD+79001112233;снимок;foto OK;6944;foto\051921_101226f7 foto\051924_101226f8;Склад
//   №2
// Lines written before the unit's name was kept end with the pictures, and read as well.
// Windows-1251 text, fields separated by ";", lines ended by CR LF, so that a spreadsheet opens
// it as it stands. A field holding ";" or a quote is quoted as CSV quotes it; a line break
// within a field is written as a blank, so that every call stays one line of the file.
// A number that is there begins with a soft hyphen (0xAD, not drawn): a spreadsheet would
// otherwise take "+79001112233" or "89001112233" for a numeric value and show 79001112233
// or 7.9E+10; with it the cell is text however the import is set. Reading takes it off again,
// and a line written without it reads as well.
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace journal {

inline const QString file = QStringLiteral("calls.csv");

enum class Direction { Incoming, Outgoing, Cable };

struct Call {
    QDateTime start;
    Direction direction = Direction::Incoming;
    QByteArray number;           // the caller's or the dialled number, as the modem or the settings hold it
    QString what;                // "снимок", "установки", or the kind of a call not answered
    QString outcome;             // what the status bar told: "foto OK", "err 1", "не отвечен", ...
    qint64 bytes = 0;            // received in the data phase
    QList<QByteArray> pictures;  // base names of the pictures filed from the call
    QString unit;                // the number's name in the book of units at the call's end
    bool operator==(const Call&) const = default;
};

// The outcome of a call that rang and was not answered.
inline const QString notAnswered = QStringLiteral("не отвечен");
// The outcome of the line of pictures that a full disk held back in their call and a later
// filing stored: the line names the call they came from and the pictures, with no bytes.
inline const QString filedLater = QStringLiteral("сохранены позже");

// The line for pictures of `from` that were stored after it ended.
Call storedLater(const Call& from, const QList<QByteArray>& pictures);

// A time as the journal writes it and the window shows it: "dd.MM.yyyy hh:mm:ss".
QString timeText(const QDateTime& time);

// A time written by timeText read back; nothing for anything else.
std::optional<QDateTime> parseTime(QByteArrayView text);
// A number as the working folder's tables write it (the soft hyphen first, see above; the
// field unquoted), and such a field's number.
QByteArray numberField(QByteArrayView number);
QByteArray numberOf(QByteArrayView field);

// The first line of the file, with its CR LF: the fields' names.
QByteArray heading();
// One line of the file, with its CR LF.
QByteArray formatLine(const Call& call);
// A line of the file (with or without its line break) read back; nothing for the heading, a
// line cut off by a crash, or anything else that is not a call.
std::optional<Call> parseLine(QByteArrayView line);
// The number a picture's base name ends with (foto\hhmmss_ddmmyyfN); -1 when there is none.
int pictureNumber(QByteArrayView name);
// Who an event came from, for the viewer: the unit's name, or where there is none the caller's
// number ("номер скрыт" when withheld); "Снимок" and the unit for a picture the operator asked
// for.
QString source(const Call& call, const QString& unit = {});

// The file and an index of its lines: a few bytes a line, so that years of calls cost little
// memory and questions of who called when are answered without reading the file again. Only
// the line asked for is read again.
class Journal {
public:
    // One line of the file as the index keeps it.
    struct Entry {
        qint64 start = 0;    // the start as yyyyMMddhhmmss, which orders as the times do
        qint64 bytes = 0;    // received in the data phase
        int number = -1;     // the line's number: its place in numbers()
        int pictures = 0;    // how many pictures the line names
        bool heard = false;  // the unit was heard: the data phase began (bytes > 0) or pictures came
        bool later = false;  // a "сохранены позже" line: it repeats a call already counted
        Direction direction = Direction::Incoming;
        QDateTime startTime() const;
    };

    explicit Journal(QString fileName = file) : fileName_(std::move(fileName)) {}
    // Reads the index of the file's lines.
    void load();
    // Appends the call's line and makes it durable. A line that cannot be written is kept and
    // written before the next one; false then. The index takes it in either way.
    bool append(const Call& call);

    // Every line read at load and appended since, in the file's order (lines kept unwritten
    // too).
    const std::vector<Entry>& entries() const { return entries_; }
    // The numbers the lines hold, as written (soft hyphen taken off); a withheld number is the
    // empty one. An Entry's `number` is a place in this list; a number is listed once.
    const QList<QByteArray>& numbers() const { return numbers_; }
    // The newest line whose first picture is this one (an event's first picture is the first
    // its call's line names), as a place in entries(); -1 when none is. The file is not read.
    int lineOf(QByteArrayView firstPicture) const;
    // The call of a line that names pictures, read again; nothing for any other line.
    std::optional<Call> read(int entry) const;
    // The call whose line names the picture.
    std::optional<Call> callOf(const QByteArray& pictureName) const;
    // The start of the newest call that brought pictures, by its time: the line of pictures
    // stored later is written after newer calls' lines.
    const std::optional<QDateTime>& lastHeard() const { return lastHeard_; }

private:
    // A line that names pictures.
    struct Place {
        int first = 0, last = 0;  // the pictures' numbers the line names
        int key = -1;             // the number of its first picture
        std::uint32_t hash = 0;   // and a hash of that picture's name
        int entry = 0;            // the line's place in entries_
        qint64 offset = -1;       // where the line begins; -1 while it is not written
    };
    struct Unwritten {
        QByteArray line;
        int place = -1;  // its place in places_, -1 when it names no pictures
    };
    // Takes a line of the file (or one to be written, at offset -1) into the index; its place
    // in places_, -1 when it names no pictures or is no call's.
    int index(QByteArrayView line, qint64 offset);
    int numberPlace(QByteArrayView number);
    std::optional<Call> readAt(int place) const;

    QString fileName_;
    std::vector<Entry> entries_;
    QList<QByteArray> numbers_;
    QHash<QByteArray, int> numberPlaces_;
    int lastNumber_ = 0;  // the number of the line indexed last
    std::vector<Place> places_;
    std::vector<int> byKey_;  // places_ ordered by key, then by their order in the file
    QList<Unwritten> unwritten_;
    qint64 newest_ = -1;  // the newest start of a line with pictures
    std::optional<QDateTime> lastHeard_;
};

}  // namespace journal
