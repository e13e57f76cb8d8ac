#pragma once
// Supervision: which units of the book have fallen silent, and how the station itself stands
// (its modem, its disk). A unit with an interval of N hours is late when it has not been heard
// for N hours and a margin (a tenth of N, at least 15 minutes). A late unit whose check is "нет"
// is silent at once; one whose check is "да" is called for a picture as soon as the port is
// free, and is silent when that brings none. A silent unit heard again is back. Every change is
// a line of station.csv and a report.
//
// Time: while the program runs, how long a unit has not been heard is measured on the tick
// counter, which a clock set forward or back does not move. At the start it is taken from the
// journal's times against the clock; a last call that lies in the future (the clock was set
// back since) counts as heard at the start.
#include "acquisition/journal.h"
#include "platform/platform.h"
#include "watch/book.h"
#include "watch/operations.h"
#include "watch/stationlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace watch {

class Supervisor : public QObject {
    Q_OBJECT
public:
    using Ms = std::chrono::milliseconds;
    // How long the modem may be gone or unprepared before it is reported.
    static constexpr Ms kFaultDelay = std::chrono::minutes(1);
    // How often the free room of the disk is looked at.
    static constexpr Ms kDiskEvery = std::chrono::minutes(1);
    // The disk is low below this, or below what kDiskDays of filing need at the rate of the
    // last kDiskDays days; it is fine again above that by kDiskSlack, so that a disk near the
    // line does not report at every look.
    static constexpr qint64 kDiskFloor = qint64(1) << 30;
    static constexpr int kDiskDays = 30;
    static constexpr double kDiskSlack = 1.05;
    // A forecast longer than this says "больше чем на 10 лет".
    static constexpr int kLongForecastDays = 3650;
    static constexpr Ms kMinMargin = std::chrono::minutes(15);
    // How long past its interval a unit is late.
    static Ms margin(Ms interval) { return std::max<Ms>(interval / 10, kMinMargin); }

    enum class State { Heard, Checking, Silent };
    struct UnitState {
        State state = State::Heard;
        QDateTime since;  // when it fell silent (the clock's time then)
        QString text;     // what was reported last
    };

    Supervisor(plat::Platform& sys, const Book& book, const journal::Journal& calls, Operations& operations,
               QString folder = QStringLiteral("."), QString logFile = stationFile);

    // At the start, with the book and the journal read: what station.csv last reported, and how
    // long each unit has not been heard by the journal.
    void start();
    // At the end: a check that is still running reports nothing more.
    void stop() { stopped_ = true; }
    // One look at everything: late units (a check is made here, and returns when it has
    // ended), the modem, the disk.
    void pass();
    // A call ended with this line of the journal.
    void heard(const journal::Call& line);
    // The book changed: units are watched, or no more, with their new intervals.
    void bookChanged();

    // How the number's unit stands; nothing when it is not watched.
    std::optional<UnitState> stateOf(QByteArrayView number) const;
    // The names of the silent units, in the book's order.
    QStringList silentNames() const;
    // The station's own faults as they stand: "нет модема", "модем не готов", "мало места".
    QStringList faults() const;
    // How long the disk lasts: "На диске свободно 54,2 ГБ, места хватит примерно на 380 дней";
    // empty before the first look.
    QString forecast() const { return forecast_; }
    // Days the disk lasts at the filing rate; nothing when nothing was filed lately.
    std::optional<int> daysLeft() const { return daysLeft_; }

signals:
    // A change was written to station.csv. `alarm`: the silent units or the station's faults
    // changed with it (a check started, or a silent unit that stays silent, changes neither).
    void reported(const watch::Report& report, bool alarm);
    // Something stateOf, silentNames or faults answer changed.
    void changed();

private:
    struct Watched {
        Unit unit;
        QByteArray key;     // national number
        Ms heard{0};        // on the run's own clock: when last heard, or when watching began
        QDateTime heardAt;  // the clock's time of that, invalid when never heard
        Ms nextCheck{0};    // no check before this
        bool silent = false;
        bool checking = false;
        QDateTime since;
        QString text;
    };
    Ms now();
    const Watched* find(QByteArrayView key) const;
    Watched* find(QByteArrayView key);
    Watched watched(const Unit& unit) const;
    void report(Event event, const Watched* w, const QString& text, bool alarm);
    void look(Watched& w, Ms at);
    void check(QByteArray key);
    void modem(Ms at);
    void disk(Ms at);
    QString lateText(const Watched& w) const;
    static bool late(const Watched& w, Ms at);

    plat::Platform& sys_;
    const Book& book_;
    const journal::Journal& calls_;
    Operations& operations_;
    QString folder_;
    StationLog log_;

    std::uint32_t tick_ = 0;  // the tick counter at the last look
    Ms mono_{0};              // the run's own clock: ms since the start, never wrapping
    std::vector<Watched> watched_;
    QHash<QByteArray, QDateTime> heardAt_;  // by national number: the newest call heard
    bool started_ = false;
    bool stopped_ = false;
    bool passing_ = false;
    QByteArray checkKey_;  // the unit being checked
    std::optional<journal::Call> checkLine_;

    std::optional<Ms> goneSince_, unpreparedSince_;
    bool gone_ = false, unprepared_ = false;  // reported and not yet restored
    std::optional<Ms> diskAt_;
    bool diskLow_ = false;
    QString forecast_;
    std::optional<int> daysLeft_;
};

}  // namespace watch
