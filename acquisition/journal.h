#pragma once
// The journal of calls, calls.csv in the working folder: one line for every call, appended and
// on the disk when the call ends, never rewritten. A line holds the local date and time of the
// call's start, its direction, the number, what it was, its outcome as the status bar told it,
// the bytes of its data phase and the base names of the pictures filed from it:
//   10.12.2026 05:19:06;входящий;\xAD+79001112233;снимок;foto OK;6944;foto\051921_101226f7 foto\051924_101226f8
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
#include <QList>
#include <QString>

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

// One line of the file, with its CR LF.
QByteArray formatLine(const Call& call);
// A line of the file (with or without its line break) read back; nothing for the heading, a
// line cut off by a crash, or anything else that is not a call.
std::optional<Call> parseLine(QByteArrayView line);
// The number a picture's base name ends with (foto\hhmmss_ddmmyyfN); -1 when there is none.
int pictureNumber(QByteArrayView name);
// Who an event came from, for the viewer: the caller's number ("номер скрыт" when withheld),
// or "Снимок" and the number dialled for a picture the operator asked for.
QString source(const Call& call);

// The file and, for finding the call a picture came from, the place of every line that names
// pictures: a few bytes a line, so that years of calls cost little memory. Only the line
// asked for is read again.
class Journal {
public:
    explicit Journal(QString fileName = file) : fileName_(std::move(fileName)) {}
    // Reads the places of the lines that name pictures, and the newest start among them.
    void load();
    // Appends the call's line and makes it durable. A line that cannot be written is kept and
    // written before the next one; false then.
    bool append(const Call& call);
    // The call whose line names the picture.
    std::optional<Call> callOf(const QByteArray& pictureName) const;
    // The start of the newest call that brought pictures, by its time: the line of pictures
    // stored later is written after newer calls' lines.
    const std::optional<QDateTime>& lastHeard() const { return lastHeard_; }

private:
    struct Place {
        int first = 0, last = 0;  // the pictures' numbers the line names
        qint64 offset = 0;        // where the line begins
    };
    struct Unwritten {
        QByteArray line;
        int first = -1, last = -1;
    };
    std::optional<Call> readAt(qint64 offset) const;
    static void span(const QList<QByteArray>& pictures, int& first, int& last);

    QString fileName_;
    std::vector<Place> places_;
    QList<Unwritten> unwritten_;
    std::optional<QDateTime> lastHeard_;
};

}  // namespace journal
