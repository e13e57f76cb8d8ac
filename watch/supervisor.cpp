#include "watch/supervisor.h"

#include "platform/trace.h"

#include <QScopeGuard>

#include <cmath>
#include <utility>

namespace watch {

namespace {

using std::chrono::hours;

QString quoted(const QString& name) { return QStringLiteral("«%1»").arg(name); }

// "1 день", "3 дня", "25 дней".
QString days(int n) {
    const int last = n % 10, tens = n % 100;
    const char* word = last == 1 && tens != 11                              ? "день"
                       : last >= 2 && last <= 4 && (tens < 12 || tens > 14) ? "дня"
                                                                            : "дней";
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(word));
}

// "54,2 ГБ", "800 МБ".
QString size(qint64 bytes) {
    if (bytes >= qint64(1) << 30)
        return QString::number(double(bytes) / double(1 << 30), 'f', 1).replace('.', ',') + " ГБ";
    return QStringLiteral("%1 МБ").arg(bytes >> 20);
}

// A time as the journal's keys hold it: yyyyMMddhhmmss.
qint64 keyOf(const QDateTime& time) { return time.toString(QStringLiteral("yyyyMMddhhmmss")).toLongLong(); }
QDateTime timeOf(qint64 key) {
    journal::Journal::Entry e;
    e.start = key;
    return e.startTime();
}

}  // namespace

Supervisor::Supervisor(plat::Platform& sys, const Book& book, const journal::Journal& calls, Operations& operations,
                       QString folder, QString logFile)
    : sys_(sys), book_(book), calls_(calls), operations_(operations), folder_(std::move(folder)),
      log_(std::move(logFile)), tick_(sys.clock.tick()) {}

Supervisor::Ms Supervisor::now() {
    // The tick counter wraps after 49 days; looked at every few seconds, its steps never do.
    const std::uint32_t t = sys_.clock.tick();
    mono_ += Ms(std::uint32_t(t - tick_));
    tick_ = t;
    return mono_;
}

const Supervisor::Watched* Supervisor::find(QByteArrayView key) const {
    const auto w = std::find_if(watched_.begin(), watched_.end(), [&](const Watched& x) { return x.key == key; });
    return w == watched_.end() ? nullptr : &*w;
}

Supervisor::Watched* Supervisor::find(QByteArrayView key) {
    return const_cast<Watched*>(std::as_const(*this).find(key));
}

Supervisor::Watched Supervisor::watched(const Unit& unit) const {
    Watched w;
    w.unit = unit;
    w.key = nationalNumber(unit.number);
    // Never heard: watched from now, when it joined the book or the station started.
    w.heard = mono_;
    const QDateTime at = heardAt_.value(w.key);
    if (at.isValid()) {
        w.heardAt = at;
        // A last call in the future: the clock was set back since. It counts as heard now,
        // so that no unit is late for a clock's sake.
        w.heard = mono_ - Ms(std::max<qint64>(0, at.msecsTo(sys_.clock.now())));
    }
    return w;
}

void Supervisor::start() {
    started_ = true;
    now();
    // The newest call heard from each number, by the journal.
    std::vector<QByteArray> keys;
    keys.reserve(std::size_t(calls_.numbers().size()));
    for (const QByteArray& n : calls_.numbers()) keys.push_back(nationalNumber(n));
    std::vector<qint64> newest(keys.size(), -1);
    for (const journal::Journal::Entry& e : calls_.entries())
        if (e.heard && !e.later && e.number >= 0)
            newest[std::size_t(e.number)] = std::max(newest[std::size_t(e.number)], e.start);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].isEmpty() || newest[i] < 0) continue;
        const QDateTime at = timeOf(newest[i]);
        if (!heardAt_.contains(keys[i]) || heardAt_[keys[i]] < at) heardAt_[keys[i]] = at;
    }
    bookChanged();

    // What station.csv reported last stands: a silent unit stays silent (no second line), a
    // fault stays reported until it is restored.
    QHash<QByteArray, Report> lastOfUnit;
    for (const Report& r : log_.read()) {
        switch (r.event) {
        case Event::Check:
        case Event::Silent:
        case Event::Back: lastOfUnit[nationalNumber(r.number)] = r; break;
        case Event::ModemLost:
        case Event::ModemBack: gone_ = r.event == Event::ModemLost; break;
        case Event::Unprepared:
        case Event::Prepared: unprepared_ = r.event == Event::Unprepared; break;
        case Event::DiskLow:
        case Event::DiskOk: diskLow_ = r.event == Event::DiskLow; break;
        }
    }
    const QDateTime wall = sys_.clock.now();
    for (Watched& w : watched_) {
        const auto last = lastOfUnit.constFind(w.key);
        if (last == lastOfUnit.cend() || last->event != Event::Silent) continue;
        if (w.heardAt.isValid() && w.heardAt > last->time) {
            // Heard after it fell silent, and the program ended before it said so.
            report(Event::Back, &w, QStringLiteral("%1 снова на связи").arg(quoted(w.unit.name)), false);
            continue;
        }
        w.silent = true;
        w.since = last->time;
        w.text = last->text;
        // The next check one interval after the last, as far as the clock tells.
        const Ms interval = hours(w.unit.interval);
        const Ms ago = Ms(std::clamp<qint64>(last->time.msecsTo(wall), 0, interval.count()));
        w.nextCheck = mono_ + interval - ago;
    }
    emit changed();
}

void Supervisor::bookChanged() {
    std::vector<Watched> next;
    for (const Unit& unit : book_.units()) {
        if (unit.interval <= 0 || nationalNumber(unit.number).isEmpty()) continue;
        if (const Watched* was = find(nationalNumber(unit.number))) {
            Watched w = *was;
            w.unit = unit;
            next.push_back(std::move(w));
        } else {
            next.push_back(watched(unit));
        }
    }
    watched_ = std::move(next);
    emit changed();
}

void Supervisor::heard(const journal::Call& line) {
    const QByteArray key = nationalNumber(line.number);
    if (key.isEmpty() || line.outcome == journal::filedLater) return;  // that call was counted when it ended
    const bool isCheck = key == checkKey_ && line.direction == journal::Direction::Outgoing;
    if (isCheck) checkLine_ = line;
    // A check is answered only by a picture; any other call by its data phase beginning.
    if (!(isCheck ? !line.pictures.isEmpty() : line.bytes > 0 || !line.pictures.isEmpty())) return;
    if (!heardAt_.contains(key) || heardAt_[key] < line.start) heardAt_[key] = line.start;
    Watched* w = find(key);
    if (!w) return;
    w->heard = now();
    w->heardAt = line.start;
    w->nextCheck = Ms(0);
    if (w->silent && !isCheck) {
        w->silent = false;
        report(Event::Back, w, QStringLiteral("%1 снова на связи").arg(quoted(w->unit.name)), true);
    }
    emit changed();
}

QString Supervisor::lateText(const Watched& w) const {
    const QString since = w.heardAt.isValid() ? QStringLiteral("не выходит на связь с ") + journal::timeText(w.heardAt)
                                              : QStringLiteral("ни разу не выходил на связь");
    return QStringLiteral("%1 (интервал %2 ч)").arg(since).arg(w.unit.interval);
}

bool Supervisor::late(const Watched& w, Ms at) {
    const Ms interval = hours(w.unit.interval);
    return at - w.heard > interval + margin(interval);
}

void Supervisor::report(Event event, const Watched* w, const QString& text, bool alarm) {
    Report r{sys_.clock.now(), event, w ? w->unit.name : QString(), w ? w->unit.number : QByteArray(), text};
    if (!log_.append(r))
        qCInfo(lcArchive, "%s not written: the line is kept for the next one", qUtf8Printable(stationFile));
    qCInfo(lcArchive, "station: %s: %s", qUtf8Printable(eventWord(event)), qUtf8Printable(text));
    emit reported(r, alarm);
}

void Supervisor::pass() {
    if (!started_ || stopped_ || passing_) return;  // a check's own waits pump the timer that runs this
    passing_ = true;
    const auto release = qScopeGuard([this] { passing_ = false; });
    const Ms at = now();
    modem(at);
    disk(at);
    QByteArray due;
    for (Watched& w : watched_) {
        look(w, at);
        if (due.isEmpty() && w.unit.check && !w.checking && at >= w.nextCheck && late(w, at)) due = w.key;
    }
    if (!due.isEmpty() && operations_.portFree()) {
        const Modem m = operations_.modem();
        if (m == Modem::Ready || m == Modem::NotWanted) check(due);
    }
}

void Supervisor::look(Watched& w, Ms at) {
    if (w.silent || w.checking || !late(w, at)) return;
    if (!w.unit.check) {
        w.silent = true;
        w.since = sys_.clock.now();
        w.text = QStringLiteral("%1 молчит: %2").arg(quoted(w.unit.name), lateText(w));
        report(Event::Silent, &w, w.text, true);
        emit changed();
        return;
    }
    // A check is due, but there is no modem to make it with: the unit is silent now, and is
    // checked once the modem is back.
    const Modem m = operations_.modem();
    if (at < w.nextCheck || (m != Modem::Gone && m != Modem::Unprepared)) return;
    w.silent = true;
    w.since = sys_.clock.now();
    w.text = QStringLiteral("%1 молчит: %2; проверить звонком нельзя: %3")
                 .arg(quoted(w.unit.name), lateText(w),
                      m == Modem::Gone ? QStringLiteral("нет модема") : QStringLiteral("модем не готов"));
    report(Event::Silent, &w, w.text, true);
    emit changed();
}

void Supervisor::check(QByteArray key) {
    Watched* w = find(key);
    w->checking = true;
    report(Event::Check, w, QStringLiteral("Проверка звонком: %1 %2").arg(quoted(w->unit.name), lateText(*w)), false);
    emit changed();
    checkKey_ = key;
    checkLine_.reset();
    const QByteArray number = w->unit.number;
    const QString refused = operations_.check(number);
    checkKey_.clear();
    // The book may have changed while the check ran: the unit is looked up again.
    w = find(key);
    if (!w || stopped_) return;
    w->checking = false;
    w->nextCheck = now() + hours(w->unit.interval);
    const bool was = w->silent;
    if (checkLine_ && !checkLine_->pictures.isEmpty()) {
        w->silent = false;
        w->text = QStringLiteral("%1 на связи: проверка звонком принесла снимок").arg(quoted(w->unit.name));
        report(Event::Back, w, w->text, was);
    } else {
        const QString why = !refused.isEmpty() ? refused : checkLine_ ? checkLine_->outcome : QStringLiteral("прерван");
        w->silent = true;
        if (!was) w->since = sys_.clock.now();
        w->text = QStringLiteral("%1 молчит: проверка звонком не удалась (%2)").arg(quoted(w->unit.name), why);
        report(Event::Silent, w, w->text, !was);
    }
    checkLine_.reset();
    emit changed();
}

void Supervisor::modem(Ms at) {
    const Modem m = operations_.modem();
    // Nobody expects the modem while the station does not listen: what was reported stands
    // until the station listens again.
    if (m == Modem::NotWanted) {
        goneSince_.reset();
        unpreparedSince_.reset();
        return;
    }
    const auto fault = [&](bool now, std::optional<Ms>& since, bool& reported, Event lost, const QString& lostText,
                           Event back, const QString& backText) {
        if (!now) {
            since.reset();
            if (reported) {
                reported = false;
                report(back, nullptr, backText, true);
                emit changed();
            }
            return;
        }
        if (!since) since = at;
        if (!reported && at - *since >= kFaultDelay) {
            reported = true;
            report(lost, nullptr, lostText, true);
            emit changed();
        }
    };
    fault(m == Modem::Gone, goneSince_, gone_, Event::ModemLost, QStringLiteral("Нет модема больше минуты"),
          Event::ModemBack, QStringLiteral("Модем снова на месте"));
    // A modem that is gone is not prepared either, but only its absence is reported.
    if (m != Modem::Gone)
        fault(m == Modem::Unprepared, unpreparedSince_, unprepared_, Event::Unprepared,
              QStringLiteral("Модем не отвечает на подготовку больше минуты"), Event::Prepared,
              QStringLiteral("Модем снова готов"));
}

void Supervisor::disk(Ms at) {
    if (diskAt_ && at - *diskAt_ < kDiskEvery) return;
    diskAt_ = at;
    const std::optional<qint64> free = sys_.disk.freeBytes(folder_);
    if (!free) return;
    // What the last days' filing took, by the journal's lines (the data phases' bytes, a little
    // more than the pictures keep); over the journal's own span when it is younger.
    const QDateTime wall = sys_.clock.now();
    const qint64 from = keyOf(wall.addDays(-kDiskDays));
    qint64 bytes = 0;
    qint64 oldest = -1;
    bool older = false;
    const auto& entries = calls_.entries();
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (e->start < from) {
            older = true;
            break;
        }
        bytes += e->bytes;
        oldest = oldest < 0 ? e->start : std::min(oldest, e->start);  // lines stored later stand out of order
    }
    double span = kDiskDays;
    if (!older && oldest >= 0) span = std::clamp(double(timeOf(oldest).secsTo(wall)) / 86400.0, 1.0, double(kDiskDays));
    const double perDay = double(bytes) / span;
    daysLeft_.reset();
    QString room = QStringLiteral("на диске свободно ") + size(*free);
    if (perDay > 0) {
        daysLeft_ = int(std::min(double(*free) / perDay, 1e6));
        // Beyond the ten years the archive is kept for, the number says nothing.
        room += *daysLeft_ > kLongForecastDays ? QStringLiteral(", места хватит больше чем на 10 лет")
                                               : QStringLiteral(", места хватит примерно на ") + days(*daysLeft_);
    }
    const QString was = std::exchange(forecast_, room.left(1).toUpper() + room.mid(1));
    const double need = std::max(double(kDiskFloor), perDay * kDiskDays);
    const bool low = double(*free) < need;
    if (low && !diskLow_) {
        diskLow_ = true;
        report(Event::DiskLow, nullptr, QStringLiteral("Мало места: ") + room, true);
    } else if (!low && diskLow_ && double(*free) >= need * kDiskSlack) {
        diskLow_ = false;
        report(Event::DiskOk, nullptr, QStringLiteral("Места снова достаточно: ") + room, true);
    }
    // An open board works its rows out again at each change: not once a minute for nothing.
    if (forecast_ != was) emit changed();
}

std::optional<Supervisor::UnitState> Supervisor::stateOf(QByteArrayView number) const {
    const QByteArray key = nationalNumber(number);
    const Watched* w = key.isEmpty() ? nullptr : find(key);
    if (!w) return std::nullopt;
    return UnitState{w->checking ? State::Checking : w->silent ? State::Silent : State::Heard, w->since, w->text};
}

QStringList Supervisor::silentNames() const {
    QStringList names;
    for (const Watched& w : watched_)
        if (w.silent) names.append(w.unit.name);
    return names;
}

QStringList Supervisor::faults() const {
    QStringList all;
    if (gone_) all.append(QStringLiteral("нет модема"));
    if (unprepared_) all.append(QStringLiteral("модем не готов"));
    if (diskLow_) all.append(QStringLiteral("мало места"));
    return all;
}

}  // namespace watch
