#pragma once
// The simulated modem and unit as a separate process, for end-to-end tests: the program
// under test opens its pseudo-terminal through the real serial layer.
#include "fakes.h"
#include "rig.h"
#include "platform/serial_qt.h"

#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace rig {

// One line of unitsim's event log: its name and its key=value fields.
struct SimEvent {
    QByteArray name;
    QHash<QByteArray, QByteArray> fields;
};

class UnitSimProcess {
public:
    // Starts unitsim with the given options plus --link, --control, --log and --report in a
    // folder of its own; check ok() before use (false when the program is not built).
    explicit UnitSimProcess(const QStringList& options);
    ~UnitSimProcess();
    UnitSimProcess(const UnitSimProcess&) = delete;
    UnitSimProcess& operator=(const UnitSimProcess&) = delete;

    bool ok() const { return ok_; }
    QString link() const { return dir_.filePath("modem"); }
    QString reportPath() const { return dir_.filePath("report.txt"); }
    QString savedDir() const { return dir_.filePath("sent"); }
    QString logPath() const { return dir_.filePath("log"); }
    // Sends a control command ("call", "fault drop", "hangup").
    void command(const QByteArray& line);
    QList<SimEvent> events() const;
    // The events logged since the last call (whole lines only).
    QList<SimEvent> newEvents();
    // Whether the process still runs; kill() ends it at once, as a crash or an unplugged
    // modem would.
    bool running() const { return proc_.state() == QProcess::Running; }
    void kill();
    // The settings report, as key=value pairs (raw bytes).
    QHash<QByteArray, QByteArray> report() const;
    QByteArray stderrText() { return proc_.readAllStandardError(); }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    bool ok_ = false;
    qint64 logRead_ = 0;
};

// One line of the event log ("unitsim t=... event=NAME key=value ...").
SimEvent parseSimEvent(const QByteArray& line);

// The program's windows on the real serial layer and clock, in a temporary working folder,
// with message boxes recorded instead of shown and the port store in memory.
struct RealRig {
    WorkDir work;
    plat::SystemClock clock;
    fake::Ui ui;
    plat::QtPortSystem ports;
    fake::PortStore store;
    plat::Platform sys{clock, ui, ports, store};
    std::unique_ptr<Program> program;
    TForm1* form1 = nullptr;

    // Builds the windows with the port pointed at `port`; writes default settings first
    // when the folder has none.
    void build(const QString& port);
};

// Pumps events until pred() holds or timeoutMs pass; returns pred().
bool waitFor(const std::function<bool()>& pred, int timeoutMs);

} // namespace rig
