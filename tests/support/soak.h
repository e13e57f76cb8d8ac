#pragma once
// The fault-injection soak: unitsim at full speed against the program on the real serial
// layer, dialled and incoming transfers mixed, faults on the line from unitsim and faults of
// the operator from the program side (Отмена, or a second button, in the middle of a wait).
// After any number of transfers the archive is checked against what unitsim logged as sent.
#include "unitsim_process.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <random>

namespace rig {

struct SoakOptions {
    unsigned seed = 1;
    double faultRate = 0.35;  // share of picture calls that unitsim garbles
    QString faults = QStringLiteral("drop,truncate,noise,nul,longline,silence");
    double cancelRate = 0.06;  // share of transfers in which the operator presses Отмена
    double buttonRate = 0.10;  // share in which Снимок or Инициализ. is pressed during a wait
    double timerShare = 0.3;   // share of incoming calls left to Timer1 alone to notice
    int pictures = 3;          // per call
    int idleHangupMs = 1500;   // how long a silent call stands
    int transferTimeoutMs = 150000;
};

// What an archive check found.
struct SoakCheck {
    QStringList problems;  // empty when everything holds
    int stored = 0;        // pictures in foto
    int sentWhole = 0;     // complete pictures unitsim sent
    int required = 0;      // of those, the ones that must be stored (no cancel in their call)
    int events = 0;
    bool ok() const { return problems.isEmpty(); }
};

struct SoakFigures {
    int transfers = 0, dialled = 0, incoming = 0, byTimer = 0;
    QMap<QByteArray, int> lineFaults;    // unitsim's faults by kind, over the picture calls
    QMap<QString, int> operatorFaults;   // "cancel/dialling", "Снимок/data", ...
    int picturesWhole = 0, picturesCut = 0;
    int calls = 0, callsWithoutPictures = 0;
};

class Soak {
public:
    explicit Soak(SoakOptions options);
    ~Soak();
    Soak(const Soak&) = delete;
    Soak& operator=(const Soak&) = delete;

    // Starts unitsim, builds the windows on its line and prepares the modem (Инициализ.);
    // an empty result means ready, otherwise it says why not.
    QString start();
    // One transfer with its faults; an empty result, or what went wrong (a hang).
    QString transfer();
    // Checks the archive (foto, files.txt, events.txt, the lists in memory) against what was
    // sent; also reads any events not yet taken.
    SoakCheck check();
    // A clean incoming call and a clean dialled one after everything else: both stored.
    QString answersNextCalls();

    const SoakFigures& figures() const { return figures_; }
    RealRig& rig() { return *rig_; }
    UnitSimProcess& sim() { return *sim_; }

private:
    enum class Action { None, Cancel, Snimok, Init };
    void takeEvents();
    bool simIdle() const;
    bool waitQuiet(int timeoutMs);
    void poll();

    SoakOptions opt_;
    std::mt19937 rng_;
    std::unique_ptr<UnitSimProcess> sim_;
    std::unique_ptr<RealRig> rig_;
    SoakFigures figures_;

    // What unitsim logged.
    struct Sent {
        int call = 0;
        QByteArray file;  // its copy in unitsim's save folder
    };
    QHash<QByteArray, Sent> whole_;  // sha256 of every complete picture sent
    QSet<int> lenient_;              // calls in which the operator cancelled
    int connects_ = 0, callEnds_ = 0, rings_ = 0, ringEnds_ = 0;
    int receptions_ = 0;             // receptions started by the poll
    bool inTransfer_ = false;
};

// The resident set of this process in kB (VmRSS).
long residentKb();

} // namespace rig
