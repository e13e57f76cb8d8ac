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

// Runs a checking helper and ends the test when it failed.
#define CHECK(...)                              \
    do {                                        \
        __VA_ARGS__;                            \
        if (QTest::currentTestFailed()) return; \
    } while (false)

// Skips the calling test (an initTestCase: the whole program) when unitsim was not built.
#define SKIP_WITHOUT_UNITSIM()                                                      \
    do {                                                                            \
        if (rig::unitsimPath().isEmpty()) QSKIP("the unitsim target is not built"); \
    } while (false)

namespace rig {

// The unitsim program built with the tests, or an empty string when it was not built.
QString unitsimPath();

// One line of unitsim's event log: its name and its key=value fields.
struct SimEvent {
    QByteArray name;
    QHash<QByteArray, QByteArray> fields;
};

class UnitSimProcess {
public:
    // Starts unitsim with the given options plus --link, --control, --log and --report in a
    // folder of its own; check ok() before use (false when the program is not built). The
    // link is made at linkPath when one is given (a modem plugged in again under the name it
    // had), otherwise in that folder. ok() once the line is ready: unitsim names it last.
    explicit UnitSimProcess(const QStringList& options, const QString& linkPath = {});
    ~UnitSimProcess();
    UnitSimProcess(const UnitSimProcess&) = delete;
    UnitSimProcess& operator=(const UnitSimProcess&) = delete;

    bool ok() const { return ok_; }
    QString link() const { return link_; }
    // The pseudo-terminal's slave device the link points to.
    QString slave() const { return slave_; }
    // Ends unitsim at once with SIGKILL: its side of the line goes away as a modem does that
    // is unplugged, with no goodbye on the line.
    void kill();
    QString reportPath() const { return dir_.filePath("report.txt"); }
    QString savedDir() const { return dir_.filePath("sent"); }
    QString logPath() const { return dir_.filePath("log"); }
    // Sends a control command ("call", "fault drop", "hangup").
    void command(const QByteArray& line);
    QList<SimEvent> events() const;
    // The bytes of every picture sent whole so far, in the order sent (from the files saved
    // for the log's complete pictures); a picture whose file does not match its logged
    // SHA-256 comes back empty.
    QList<QByteArray> completePictures() const;
    // The events logged since the last call (whole lines only).
    QList<SimEvent> newEvents();
    // Whether the process still runs.
    bool running() const { return proc_.state() == QProcess::Running; }
    // The settings report, as key=value pairs (raw bytes).
    QHash<QByteArray, QByteArray> report() const;
    QByteArray stderrText() { return proc_.readAllStandardError(); }

private:
    QTemporaryDir dir_;
    QString link_;
    QString slave_;
    QProcess proc_;
    bool ok_ = false;
    qint64 logRead_ = 0;
};

// The real serial layer with a record of every byte the program wrote to the line and read
// from it, so that a test can check what crossed the wire.
class TappedPortSystem final : public plat::PortSystem {
public:
    explicit TappedPortSystem(plat::PortSystem& inner) : inner_(inner) {}
    std::unique_ptr<plat::SerialLine> create() override;
    bool probe(const QString& name) override { return inner_.probe(name); }
    QStringList extraPorts() override { return inner_.extraPorts(); }
    QString stableName(const QString& name) override { return inner_.stableName(name); }

    QByteArray written;   // every byte the program wrote, over all lines it opened
    QByteArray received;  // every byte it read
private:
    plat::PortSystem& inner_;
};

// One line of the event log ("unitsim t=... event=NAME key=value ..."); a quoted value comes
// back unescaped.
SimEvent parseSimEvent(const QByteArray& line);
// Every event of a unitsim log file, or those named `name`.
QList<SimEvent> readSimLog(const QString& path, const QByteArray& name = {});
// How many of the events are named `name` (and, when a key is given, have `key` = `value`).
int countSimEvents(const QList<SimEvent>& events, const QByteArray& name, const QByteArray& key = {},
                   const QByteArray& value = {});
// A settings report file, as key=value pairs (raw bytes, control bytes escaped as \xNN).
QHash<QByteArray, QByteArray> readSimReport(const QString& path);

// The program's windows on the real serial layer and clock, in a temporary working folder,
// with message boxes recorded instead of shown and the port store in memory.
struct RealRig {
    WorkDir work;
    plat::SystemClock clock;
    fake::Ui ui;
    plat::QtPortSystem ports;
    TappedPortSystem wire{ports};
    fake::PortStore store;
    fake::Notices notices;
    fake::Disk disk;
    plat::Platform sys{clock, ui, wire, store, notices, disk};
    std::unique_ptr<Program> program;
    TForm1* form1 = nullptr;

    // Builds the windows with the port pointed at `port`; writes default settings first
    // when the folder has none.
    void build(const QString& port);
};

}  // namespace rig
