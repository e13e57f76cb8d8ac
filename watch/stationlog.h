#pragma once
// The station's own log, station.csv in the working folder: one line for every change of how a
// unit or the station stands, appended and on the disk at once, never rewritten. Windows-1251
// text, ";" between fields, CR LF lines, a heading first, as calls.csv is:
//   Время;Событие;Объект;Номер;Текст
//   11.12.2026 06:30:00;молчит;Склад №2;\xAD+79001112233;«Склад №2» не выходит на связь с 10.12.2026 05:19:06
// "Текст" is what the station showed the operator. At the start the log tells the station what
// it last reported, so that a restart neither repeats an alarm nor forgets one.
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace watch {

inline const QString stationFile = QStringLiteral("station.csv");

// What changed. Each has its word in "Событие".
enum class Event {
    Check,       // "проверка": a late unit is called for a picture
    Silent,      // "молчит"
    Back,        // "на связи": a silent unit was heard again, or a check brought a picture
    ModemLost,   // "нет модема"
    ModemBack,   // "модем на месте"
    Unprepared,  // "модем не готов"
    Prepared,    // "модем готов"
    DiskLow,     // "мало места"
    DiskOk,      // "место есть"
};
QString eventWord(Event event);

struct Report {
    QDateTime time;
    Event event = Event::Check;
    QString unit;       // the unit's name; empty for the station's own
    QByteArray number;  // the unit's number as the book holds it
    QString text;       // what the operator was shown
    bool operator==(const Report&) const = default;
};

class StationLog {
public:
    explicit StationLog(QString fileName = stationFile) : fileName_(std::move(fileName)) {}

    // Every line of the file that reads, in its order.
    std::vector<Report> read() const;
    // Appends the line and makes it durable. A line that cannot be written is kept and written
    // before the next one; false then.
    bool append(const Report& report);

    static QByteArray heading();
    static QByteArray formatLine(const Report& report);
    static std::optional<Report> parseLine(QByteArrayView line);

private:
    QString fileName_;
    QByteArray unwritten_;
};

}  // namespace watch
