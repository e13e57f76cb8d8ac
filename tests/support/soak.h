#pragma once
// The fault-injection soak: unitsim at full speed against the program on the real serial
// layer, dialled and incoming transfers mixed, faults on the line from unitsim and faults of
// the operator from the program side (Отмена, or a second button, in the middle of a wait).
// After any number of transfers the archive is checked against what unitsim logged as sent.
#include "unitsim_process.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <memory>
#include <random>

namespace rig {

struct SoakOptions {
    unsigned seed = 1;
    double faultRate = 0.35;  // share of picture calls that unitsim garbles
    QString faults = QStringLiteral("drop,truncate,noise,nul,longline,silence");
    QString ringFault = QStringLiteral("longline");  // in front of every incoming call's first ring
    double cancelRate = 0.06;                        // share of transfers in which the operator presses Отмена
    double buttonRate = 0.10;  // share in which Снимок or Инициализ. is pressed during a wait
    double callRate = 0.05;    // share in which the unit calls in during a wait of the transfer
    double timerShare = 0.3;   // share of incoming calls left to Timer1 alone to notice
    // Shares of transfers before which the modem restarts with its announcement, restarts
    // without a word (the unit's next call then rings unanswered), or is unplugged and put
    // back; the station must prepare it again by itself each time.
    double restartRate = 0.04;
    double silentRate = 0.02;
    double replugRate = 0.04;
    // Share of transfers before which somebody calls the modem's number by voice: it must
    // ring unanswered, and the unit's next call is taken.
    double voiceRate = 0.04;
    int pictures = 3;         // per call
    int resolution = 1;       // unitsim's: 160x128, 320x240 or 640x480
    int idleHangupMs = 1500;  // how long a silent call stands
    int transferTimeoutMs = 150000;
};

// What an archive check found.
struct SoakCheck {
    QStringList problems;   // empty when everything holds
    int stored = 0;         // pictures in foto
    int sentWhole = 0;      // complete pictures unitsim sent
    int required = 0;       // of those, the ones that must be stored
    int excused = 0;        // the others: their call was cut off by the operator's cancel
    int excusedStored = 0;  // of which were stored all the same
    int events = 0;
    int journalled = 0;  // calls in calls.csv
    int unanswered = 0;  // of which rang and were not answered
    bool ok() const { return problems.isEmpty(); }
};

struct SoakFigures {
    int transfers = 0, dialled = 0, incoming = 0, byTimer = 0;
    QMap<QByteArray, int> lineFaults;   // unitsim's faults by kind, over the picture calls
    QMap<QString, int> operatorFaults;  // "Отмена/dialling", "Снимок/data", ...
    QMap<QString, int> callsDuring;     // the unit calling in during a transfer, by phase
    int picturesWhole = 0, picturesCut = 0;
    int calls = 0, callsWithoutPictures = 0;
    int restarts = 0, silentRestarts = 0, replugs = 0, voiceCalls = 0;
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
    // One line for each of the last transfers: how it was made, the operator's fault, the
    // calls it took and what the status bar showed at its end; for reading a failure.
    const QStringList& trace() const { return trace_; }
    RealRig& rig() { return *rig_; }
    UnitSimProcess& sim() { return *sim_; }

private:
    enum class Action { None, Cancel, Snimok, Init, Call };
    // Before a transfer, now and then: the modem restarts or is replugged, and the station
    // prepares it again; or a voice call rings, which the station lets ring. An empty result,
    // or what went wrong.
    QString disturb();
    void takeEvents();
    bool simIdle() const;
    bool waitQuiet(int timeoutMs);
    void poll();
    // The journal of calls against what happened: a line for every call, every stored
    // picture named in one.
    void checkJournal(SoakCheck& c, const QList<QByteArray>& files);

    SoakOptions opt_;
    std::mt19937 rng_;
    std::unique_ptr<UnitSimProcess> sim_;
    std::unique_ptr<RealRig> rig_;
    SoakFigures figures_;

    // What unitsim logged: every complete picture sent, by its sha256, kept small so that the
    // soak's own bookkeeping hardly shows in the memory figures.
    struct Sent {
        int call = 0;
        int index = 0;
    };
    using Sha = std::array<unsigned char, 32>;
    static Sha sha(const QByteArray& hex);
    QString savedFile(const Sent& s) const;
    std::map<Sha, Sent> whole_;
    QSet<int> lenient_;  // calls whose pictures a cancel excused
    int connects_ = 0, callEnds_ = 0, rings_ = 0, ringEnds_ = 0;
    int receptions_ = 0;  // receptions started by the poll
    int snimoks_ = 0;     // presses of Снимок that dialled
    QStringList trace_;
};

// The resident set of this process in kB (VmRSS).
long residentKb();

}  // namespace rig
