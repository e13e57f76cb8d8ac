// A data phase through the real serial layer on a pseudo-terminal: first at full speed, then
// paced at the modem's 960 bytes a second, once byte by byte (the worst case: one wake-up per
// byte) and once in blocks of 8 bytes, as a 16550 UART with its receive trigger at 8 hands
// them on. Prints the throughput, the CPU seconds of the program's thread and of the whole
// process (the writer thread included), and the program's share of one core.
//
//   bench_reception [bytes at full speed, default 76800] [bytes at line rate, default 76800]
#include "acquisition_rig.h"
#include "ui_tform1.h"

#include <QApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Pictures one after the other, as the unit sends them, filled up to the given size.
QByteArray stream(int size) {
    QByteArray s = "UNIT\r\n";
    for (unsigned seed = 1; s.size() < size; ++seed) {
        const QByteArray j = seed % 2 ? rig::makeJpeg({320, 240, 80, false, seed})
                                      : rig::makeJpegWithThumbnail({160, 128, 75, true, seed});
        if (s.size() + j.size() > size) break;
        s += j;
    }
    return s + QByteArray(size - s.size(), ' ');
}

struct Run {
    double wall, cpuThread, cpuProcess;
    int stored;
    bool timedOut;
};

// One data phase of the given bytes; bytesPerSecond 0 writes as fast as the line takes them,
// otherwise the bytes go out in blocks of the given size as soon as each block is due.
Run phase(int size, int bytesPerSecond, int block = 1) {
    acq::OnPty o;
    rig::Pty& pty = o.pty;
    TForm1& f = o.f;
    f.show();
    if (!pty.ok() || !f.setdcb()) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        std::exit(1);
    }
    const QByteArray data = stream(size) + "\r\nNO CARRIER\r\n";
    std::jthread writer([&] {
        using namespace std::chrono;
        if (bytesPerSecond == 0) {
            pty.write(data);
            return;
        }
        const auto start = steady_clock::now();
        for (qsizetype sent = 0; sent < data.size(); sent += block) {
            const qsizetype end = std::min<qsizetype>(data.size(), sent + block);
            std::this_thread::sleep_until(start + microseconds(end * 1000000 / bytesPerSecond));
            pty.write(data.mid(sent, end - sent));
        }
    });
    f.dialed = 1;
    f.ui->Pbar1->show();
    const double t0 = cpuSeconds(RUSAGE_THREAD), p0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    f.readbuf();
    const Run r{double(wall.nsecsElapsed()) / 1e9, cpuSeconds(RUSAGE_THREAD) - t0, cpuSeconds(RUSAGE_SELF) - p0,
                f.ListBox1.count(), f.linkerr == 1};
    writer.join();
    // At exactly the line rate the last line arrives just after the 80 s: temp.dat then holds
    // all but the end of what was sent.
    const QByteArray kept = rig::readFile("temp.dat");
    if (r.timedOut ? !data.startsWith(kept) || kept.size() < size - 100 : kept != data)
        std::fprintf(stderr, "temp.dat differs from what was sent\n");
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int fast = argc > 1 ? std::atoi(argv[1]) : 76800;
    const int paced = argc > 2 ? std::atoi(argv[2]) : 76800;
    constexpr double lineRate = 960;

    const Run a = phase(fast, 0);
    std::printf("full speed: %d bytes in %.3f s = %.0f bytes/s (%.0f times the line rate); CPU %.3f s in the "
                "program's thread, %.3f s in the process; %d pictures stored\n",
                fast, a.wall, fast / a.wall, fast / a.wall / lineRate, a.cpuThread, a.cpuProcess, a.stored);
    std::fflush(stdout);

    for (int block : {1, 8}) {
        const Run b = phase(paced, int(lineRate), block);
        std::printf("line rate, blocks of %d: %d bytes in %.3f s = %.0f bytes/s; CPU %.3f s in the program's thread = "
                    "%.2f%% of one core (process %.2f%%); %d pictures stored%s\n",
                    block, paced, b.wall, paced / b.wall, b.cpuThread, 100 * b.cpuThread / b.wall,
                    100 * b.cpuProcess / b.wall, b.stored, b.timedOut ? "; the phase reached its 80 s time-out" : "");
        std::fflush(stdout);
    }
    return 0;
}
