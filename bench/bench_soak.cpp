// The long fault-injection soak: by default 1,000 transfers, dialled and incoming mixed,
// against unitsim at full speed with random faults on the line and the operator's own. The
// archive is checked every 100 transfers (or as given) and at the end; the resident memory after 100
// transfers and at the end must agree within 10%. Memory is taken after a transfer, before
// the check (whose passing use of memory grows with the archive), once as it stands and once
// after the allocator has handed its free pages back (malloc_trim), which is the figure
// judged: what the allocator merely keeps cached is no growth of the program. Prints the
// figures and exits non-zero when a check fails.
//
//   bench_soak [transfers, default 1000] [seed, default 1] [check every, default 100]
//              [resolution 1|2|3, default 1] [garble before each ring: longline, noise, nul or -]
#include "soak.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <malloc.h>

namespace {
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back in its quarantine: its figures say nothing of the
// program's growth.
constexpr bool kJudgeMemory = false;
#else
constexpr bool kJudgeMemory = true;
#endif

// Bytes of the heap in use (small blocks and mapped ones), which RSS hides behind what the
// allocator keeps for later.
long heapKb() {
    const struct mallinfo2 m = mallinfo2();
    return long((m.uordblks + m.hblkhd) / 1024);
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int transfers = argc > 1 ? std::atoi(argv[1]) : 1000;
    rig::SoakOptions o;
    o.seed = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10)) : 1;
    const int checkEvery = argc > 3 ? std::max(1, std::atoi(argv[3])) : 100;
    if (argc > 4) o.resolution = std::atoi(argv[4]);
    if (argc > 5) o.ringFault = QString::fromLocal8Bit(argv[5]) == "-" ? QString() : QString::fromLocal8Bit(argv[5]);
    const QString startDir = QDir::currentPath();  // the soak works in a folder of its own
    rig::Soak soak(o);
    if (const QString why = soak.start(); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    struct Memory {
        long rss = 0, trimmed = 0, heap = 0;
    };
    const auto memory = [] {
        Memory m;
        m.rss = rig::residentKb();
        malloc_trim(0);
        m.trimmed = rig::residentKb();
        m.heap = heapKb();
        return m;
    };
    Memory at100, atEnd;
    bool ok = true;
    for (int n = 1; n <= transfers; ++n) {
        if (const QString problem = soak.transfer(); !problem.isEmpty()) {
            std::printf("transfer %d: %s\n", n, qPrintable(problem));
            ok = false;
            break;
        }
        if (n == 100 || n == transfers) {
            const Memory m = memory();
            if (n == 100) at100 = m;
            atEnd = m;
            std::printf("after %4d transfers: VmRSS %ld kB, trimmed %ld kB, heap in use %ld kB\n", n, m.rss, m.trimmed,
                        m.heap);
            std::fflush(stdout);
        }
        if (n % checkEvery == 0 || n == transfers) {
            const rig::SoakCheck c = soak.check();
            std::printf(
                "after %4d transfers, %4.0f s: %5d pictures stored in %4d events, %5d sent whole, %5d required%s\n", n,
                double(t.elapsed()) / 1000, c.stored, c.events, c.sentWhole, c.required, c.ok() ? "" : "; FAILED");
            for (const QString& p : c.problems) std::printf("  %s\n", qPrintable(p));
            std::fflush(stdout);
            ok = ok && c.ok();
            if (!c.ok()) break;
        }
    }
    if (ok) {
        const QString next = soak.answersNextCalls();
        std::printf("the next calls after the soak: %s\n", next.isEmpty() ? "taken and stored" : qPrintable(next));
        ok = next.isEmpty();
        const rig::SoakCheck c = soak.check();
        for (const QString& p : c.problems) std::printf("  %s\n", qPrintable(p));
        ok = ok && c.ok();
    }

    const rig::SoakFigures& fig = soak.figures();
    std::printf("\n%d transfers (%d dialled, %d incoming, %d of them noticed by Timer1 alone), %d calls, in %.0f s\n",
                fig.transfers, fig.dialled, fig.incoming, fig.byTimer, fig.calls, double(t.elapsed()) / 1000);
    int lineFaults = 0, operatorFaults = 0;
    for (auto it = fig.lineFaults.begin(); it != fig.lineFaults.end(); ++it) lineFaults += it.value();
    for (auto it = fig.operatorFaults.begin(); it != fig.operatorFaults.end(); ++it) operatorFaults += it.value();
    std::printf(
        "line faults (unitsim): %d picture calls garbled, and %s in front of every incoming call's first ring\n",
        lineFaults, o.ringFault.isEmpty() ? "nothing" : qPrintable(o.ringFault));
    for (auto it = fig.lineFaults.begin(); it != fig.lineFaults.end(); ++it)
        std::printf("  %-10s %d\n", it.key().constData(), it.value());
    std::printf("operator faults (during a wait, by phase): %d\n", operatorFaults);
    for (auto it = fig.operatorFaults.begin(); it != fig.operatorFaults.end(); ++it)
        std::printf("  %-24s %d\n", qPrintable(it.key()), it.value());
    int callsDuring = 0;
    for (auto it = fig.callsDuring.begin(); it != fig.callsDuring.end(); ++it) callsDuring += it.value();
    std::printf("the unit calling in during a transfer: %d\n", callsDuring);
    for (auto it = fig.callsDuring.begin(); it != fig.callsDuring.end(); ++it)
        std::printf("  %-24s %d\n", qPrintable(it.key()), it.value());
    std::printf("the modem restarted %d times with its announcement, %d times without a word, and was replugged %d "
                "times; each time prepared again by the station itself\n",
                fig.restarts, fig.silentRestarts, fig.replugs);
    std::printf("voice calls rung in between, none answered: %d\n", fig.voiceCalls);
    const rig::SoakCheck c = soak.check();
    std::printf("pictures sent whole %d, cut short %d; stored %d in %d events; required %d, all stored; "
                "%d excused by a cancel, %d of them stored\n",
                fig.picturesWhole, fig.picturesCut, c.stored, c.events, c.required, c.excused, c.excusedStored);
    std::printf(
        "calls in the journal (calls.csv): %d, of which %d rang unanswered; every stored picture named in one\n",
        c.journalled, c.unanswered);
    if (at100.rss > 0) {
        const auto growth = [](long a, long b) { return 100.0 * double(b - a) / double(a); };
        std::printf("VmRSS after 100 transfers %ld kB, after %d: %ld kB (%+.1f%%)\n", at100.rss, fig.transfers,
                    atEnd.rss, growth(at100.rss, atEnd.rss));
        std::printf("VmRSS with the allocator's free pages handed back: %ld kB, %ld kB (%+.1f%%)\n", at100.trimmed,
                    atEnd.trimmed, growth(at100.trimmed, atEnd.trimmed));
        std::printf("heap in use: %ld kB, %ld kB (%+.1f%%)\n", at100.heap, atEnd.heap, growth(at100.heap, atEnd.heap));
        if (!kJudgeMemory) std::printf("(memory is not judged under AddressSanitizer)\n");
        else if (std::abs(growth(at100.trimmed, atEnd.trimmed)) > 10) ok = false;
    }
    if (!ok) {
        // What is needed to read the failure: the last transfers and unitsim's log.
        std::printf("the last transfers:\n");
        for (const QString& line : soak.trace()) std::printf("  %s\n", qPrintable(line));
        const QString kept = startDir + QStringLiteral("/bench_soak-unitsim.log");
        QFile::remove(kept);
        QFile::copy(soak.sim().logPath(), kept);
        std::printf("unitsim's event log: %s\n", qPrintable(kept));
    }
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
