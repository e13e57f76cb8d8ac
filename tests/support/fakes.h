#pragma once
// Test doubles for the platform seam: a fake clock that moves only when the line waits, a
// scripted serial line, a desktop that records message boxes, and in-memory port stores.
#include "platform/platform.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace fake {

class Clock final : public plat::Clock {
public:
    std::uint32_t tick() override { return t; }
    QDateTime now() override { return base.addMSecs(qint64(std::uint32_t(t - t0))); }
    void advance(std::uint32_t ms) { t += ms; }
    // Starts the tick counter at a given value (near the wrap, say).
    void startAt(std::uint32_t value) { t = t0 = value; }

    std::uint32_t t = 1000, t0 = 1000;
    QDateTime base = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
};

// A serial line that plays a script. Bytes come one per read (each read of a byte takes
// 1 ms, about the time a byte needs at 9600 bit/s); an empty read waits 10 ms of fake time.
class ScriptedLine final : public plat::SerialLine {
public:
    explicit ScriptedLine(Clock& clock) : clock_(clock) {}

    // ---- the script, played in order as the program reads ----
    ScriptedLine& feed(const QByteArray& bytes);
    ScriptedLine& silence(int ms);
    // Holds what follows until the program has written something that starts with prefix
    // (each such step takes one matching write, in order).
    ScriptedLine& afterWrite(const QByteArray& prefix);
    // Runs f when the program's reading reaches this point.
    ScriptedLine& then(std::function<void()> f);
    ScriptedLine& failReads(int n);
    // From here on the device is gone: reads fail and vanished() is true.
    ScriptedLine& vanish();
    // Bytes that are already waiting in the input; a purge discards them.
    void inject(const QByteArray& bytes) { pending_ += bytes; }
    bool scriptDone() const { return steps_.empty(); }

    // ---- what the program did ----
    QByteArray written;        // every byte written, in order
    QList<QByteArray> writes;  // one entry per write
    int purges = 0;
    int reads = 0;
    QString openedName;
    bool opened = false;
    bool openOk = true;
    plat::OpenError openFailure{plat::OpenError::Busy, {}, "Permission error while locking the device"};
    bool configureOk = true;
    bool configured = false;

    // ---- SerialLine ----
    bool open(const QString& name) override;
    plat::OpenError openError() const override { return openOk ? plat::OpenError{} : openFailure; }
    bool configure() override;
    void purge() override;
    bool write(const char* data, qint64 length) override;
    plat::ReadResult read(unsigned char& byte) override;
    bool vanished() const override { return gone_; }
    void close() override { opened = false; }

private:
    enum class Kind { Bytes, Silence, AfterWrite, Call, Fail, Vanish };
    struct Step {
        Kind kind;
        QByteArray data;
        int pos = 0;
        int n = 0;
        std::function<void()> f;
    };
    Clock& clock_;
    std::deque<Step> steps_;
    QByteArray pending_;
    int writeCursor_ = 0;
    bool gone_ = false;
};

class Ui final : public plat::Ui {
public:
    void pump() override;
    void message(const QString& caption, const QString& text) override { messages.append({caption, text}); }
    void error(const QString& text) override { errors.append(text); }
    // A question records what it asked and gives the next reply ("Да" when there is none).
    bool ask(const QString& caption, const QString& text) override {
        questions.append({caption, text});
        return replies.isEmpty() || replies.takeFirst();
    }
    // The file dialogs record what they were asked and give the next answer (cancel when
    // there is none).
    QString saveFile(QWidget*, const QString&, const QString& suggested) override { return answer(suggested); }
    QString folder(QWidget*, const QString&, const QString& start) override { return answer(start); }
    QString answer(const QString& asked) {
        dialogs.append(asked);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    struct Box {
        QString caption, text;
    };
    QList<Box> messages;
    QList<Box> questions;
    QList<bool> replies;  // what the next questions are answered
    QStringList errors;
    QStringList dialogs;  // what each file dialog proposed
    QStringList answers;  // what the next file dialogs answer
    int pumps = 0;
    // Whether a pump handles Qt's pending events. The reception's fuzz target turns it off:
    // nothing it checks needs them, and handling them at every byte costs most of its time.
    bool events = true;
    std::function<void()> onPump;  // runs at every pump, when set
};

// Records what the program asks of the desktop; the window counts as active, and the desktop
// as having a tray, as the test sets them.
class Notices final : public plat::Notices {
public:
    bool active(const QWidget&) override { return windowActive; }
    void alert(QWidget&) override { ++alerts; }
    bool trayAvailable() override { return tray; }
    void showTray(QWidget&) override { trayShown = true; }
    void setTrayTip(const QString& text) override { tip = text; }
    void trayMessage(const QString& text) override { messages.append(text); }

    bool windowActive = false;
    bool tray = true;
    bool trayShown = false;
    int alerts = 0;
    QString tip;
    QStringList messages;
};

// A disk with as much room as the test gives it; nothing when `free` is negative (the system
// cannot tell).
class Disk final : public plat::Disk {
public:
    std::optional<qint64> freeBytes(const QString&) override {
        return free < 0 ? std::nullopt : std::optional<qint64>(free);
    }
    qint64 free = qint64(100) << 30;
};

// Hands out scripted lines; the test keeps a pointer to the one the program owns.
class PortSystem final : public plat::PortSystem {
public:
    explicit PortSystem(Clock& clock) : clock_(clock) {}
    // The line the next create() hands out.
    ScriptedLine& line();
    std::unique_ptr<plat::SerialLine> create() override;
    bool probe(const QString& name) override {
        ++probes;
        return free.contains(name) && !held.contains(name);
    }
    QStringList extraPorts() override { return extra; }
    QString stableName(const QString& name) override { return stable.value(name, name); }

    QSet<QString> free;  // devices that exist
    QSet<QString> held;  // held by someone
    QStringList extra;
    QHash<QString, QString> stable;  // kernel name -> stable name
    int creates = 0;
    int probes = 0;
    ScriptedLine* current = nullptr;  // the line last handed out

private:
    Clock& clock_;
    std::unique_ptr<ScriptedLine> next_;
};

class PortStore final : public plat::PortStore {
public:
    std::optional<QString> load() override { return value; }
    bool save(const QString& name) override {
        if (!writable) return false;
        value = name;
        ++saves;
        return true;
    }
    bool listened() override { return listen; }
    bool saveListened(bool on) override {
        if (!writable) return false;
        listen = on;
        return true;
    }
    std::optional<QString> value;
    bool listen = false;
    bool writable = true;
    int saves = 0;
};

// The whole fake platform in one piece: what a component test or a fuzz target runs on.
struct World {
    Clock clock;
    Ui ui;
    PortSystem ports{clock};
    PortStore store;
    Notices notices;
    Disk disk;
    plat::Platform sys{clock, ui, ports, store, notices, disk};
};

}  // namespace fake
