#include "watch/watch.h"

#include "platform/trace.h"
#include "watch/tform6.h"

#include <QWidget>

#include <utility>

namespace watch {

Watch::Watch(plat::Platform& sys, Archive archive, Operations& operations, QWidget* owner)
    : sys_(sys), archive_(archive), operations_(operations), owner_(owner),
      supervisor_(sys, book_, archive.calls, operations) {
    seenTimer_.setSingleShot(true);
    seenTimer_.setInterval(kSeenDelayMs);
    connect(&seenTimer_, &QTimer::timeout, this, [this] { saveSeen(); });
    superviseTimer_.setInterval(kSuperviseEvery);
    connect(&superviseTimer_, &QTimer::timeout, this, [this] { supervise(); });
    connect(&supervisor_, &Supervisor::reported, this, &Watch::onReport);
    connect(&supervisor_, &Supervisor::changed, this, [this] { board_->changed(); });
    board_ = std::make_unique<TForm6>(*this, owner_);
}

Watch::~Watch() = default;

void Watch::start(const QByteArray& unitNumber) {
    started_ = true;
    unitNumber_ = unitNumber;
    if (const QString why = book_.load(); !why.isEmpty()) sys_.ui.message(QStringLiteral("Объекты"), why);
    if (book_.ensure(unitNumber)) emit bookChanged();
    seen_.load(archive_.pictures);
    supervisor_.start();
    superviseTimer_.start();
    showTitle();
    board_->changed();
    // What the main window showed before (its first page) counts now.
    shown(std::exchange(shownBefore_, {}));
}

void Watch::finish() {
    superviseTimer_.stop();
    supervisor_.stop();
    seenTimer_.stop();
    if (started_) saveSeen();  // before the start nothing was read, so nothing is written
}

void Watch::saveSeen() {
    // Not written: the marks stay in memory and go with the next change or the end.
    if (!seen_.save(archive_.pictures)) qCInfo(lcArchive, "%s not written", qUtf8Printable(seenFile));
}

void Watch::openBoard() { board_->open(); }

void Watch::callEnded(const journal::Call& line) {
    supervisor_.heard(line);
    board_->changed();
}

void Watch::filed() { board_->changed(); }

void Watch::shown(const QList<QByteArray>& names) {
    if (!started_) {
        shownBefore_ += names;
        return;
    }
    const std::vector<int> now = seen_.mark(names, archive_.pictures);
    if (now.empty()) return;
    seenChanged();
    board_->seen(now);
}

void Watch::unitNumberChanged(const QByteArray& number) {
    unitNumber_ = number;
    // Before the start the book is not read yet: the start takes the number in.
    if (!started_) return;
    if (book_.ensure(number)) {
        supervisor_.bookChanged();
        board_->changed();
        emit bookChanged();
    }
}

QString Watch::addUnit(const Unit& unit) { return booked(book_.add(unit)); }

QString Watch::changeUnit(int row, const Unit& unit) { return booked(book_.replace(row, unit)); }

QString Watch::kept(int row) const {
    if (row < 0 || row >= book_.units().size() || !isSettingsUnit(book_.units()[row].number)) return {};
    return QStringLiteral("«%1» — объект из установок, он остаётся в книге; его номер меняют в установках "
                          "(«Телефон объекта»)")
        .arg(book_.units()[row].name);
}

QString Watch::removeUnit(int row) {
    if (QString why = kept(row); !why.isEmpty()) return why;
    return booked(book_.remove(row));
}

QString Watch::booked(QString why) {
    if (why.isEmpty()) {
        supervisor_.bookChanged();
        board_->changed();
        emit bookChanged();
    }
    return why;
}

bool Watch::isSettingsUnit(QByteArrayView number) const {
    const QByteArray key = nationalNumber(unitNumber_);
    return !key.isEmpty() && nationalNumber(number) == key;
}

void Watch::allSeen() {
    seen_.markAll(archive_.pictures);
    seenChanged();
    board_->changed();
}

const archive::Callers& Watch::callers() {
    if (archive_.callers) return *archive_.callers;
    callers_.update(archive_.events, archive_.calls);
    return callers_;
}

BoardInput Watch::boardInput() {
    return {book_, archive_.pictures, archive_.events, archive_.calls, callers(), seen_, sys_.clock.now().date()};
}

void Watch::onReport(const Report& report, bool alarm) {
    showTitle();
    board_->changed();
    if (alarm && owner_) {
        // Once at each change: the task-bar entry asks for attention, the tray says what.
        sys_.notices.alert(*owner_);
        if (sys_.notices.trayAvailable()) {
            sys_.notices.showTray(*owner_);
            sys_.notices.trayMessage(report.text);
        }
    }
    emit reported(report, alarm);
}

QString Watch::title() const {
    QStringList alarms;
    if (const QStringList silent = supervisor_.silentNames(); !silent.isEmpty())
        alarms.append(QStringLiteral("молчит: ") + silent.join(QStringLiteral(", ")));
    alarms += supervisor_.faults();
    return alarms.isEmpty() ? ownTitle_ : ownTitle_ + QStringLiteral(" — ") + alarms.join(QStringLiteral("; "));
}

void Watch::showTitle() {
    if (!owner_) return;
    if (ownTitle_.isNull()) ownTitle_ = owner_->windowTitle();
    owner_->setWindowTitle(title());
}

void Watch::seenChanged() {
    if (!seenTimer_.isActive()) seenTimer_.start();
}

}  // namespace watch
