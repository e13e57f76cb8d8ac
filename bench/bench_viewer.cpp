// Start-up and paging on a large archive: 100,000 pictures in files.txt, 30,000 events.
//
//   bench_viewer [runs]           makes the working folder, then starts itself `runs` times
//                                 (default 3) as a fresh process on it and prints the figures
//   bench_viewer --child FOLDER   one measured run of the real windows in FOLDER
//
// Each run reports the time from process start (the kernel's start time of the process in
// /proc/self/stat, 10 ms steps) and from main's entry (a steady clock) to the first paint
// event of the main window, then the time of one "<" and one "<<" press, each with the
// repaint of the window it causes. Run it with QT_QPA_PLATFORM=offscreen or under xvfb-run.
#include "fakes.h"
#include "jpegmaker.h"
#include "app/program.h"
#include "platform/serial_qt.h"
#include "platform/stringlist.h"
#include "ui_tform1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPictures = 100000;
constexpr int kEvents = 30000;
constexpr int kRealPictures = 200;  // the newest ones get real files: every page the run shows
constexpr int kPresses = 10;

using Steady = std::chrono::steady_clock;
double msSince(Steady::time_point t) { return std::chrono::duration<double, std::milli>(Steady::now() - t).count(); }

// Milliseconds since the kernel started this process, or -1 when /proc is not there.
double msSinceProcessStart() {
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name (which may hold spaces) start with field 3.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20) return -1;
    const double startTicks = fields[19].toDouble();  // field 22: start time in clock ticks since boot
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
    return nowMs - startTicks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

QByteArray pictureName(int n) {
    // One picture about every 37 seconds, named as the archive names them.
    const QDateTime t = QDateTime(QDate(2025, 1, 1), QTime(0, 0)).addSecs(qint64(n) * 37);
    return "foto\\" + t.toString(QStringLiteral("hhmmss_ddMMyy")).toLatin1() + "f" + QByteArray::number(n);
}

bool makeArchive(const QString& folder) {
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("foto"))) return false;
    QList<QByteArray> pictures;
    pictures.reserve(kPictures);
    for (int n = 0; n < kPictures; ++n) pictures.append(pictureName(n));
    // Events of four and three pictures, in filing order, that cover the whole list.
    QList<QByteArray> events;
    events.reserve(kEvents);
    for (int e = 0, n = 0; e < kEvents; ++e) {
        const int count = e % 3 == 0 ? 4 : 3;
        QByteArray line = QByteArray::number(count) + ",";
        for (int i = 0; i < count; ++i) line += pictures[n++] + ",";
        events.append(line);
    }
    if (!plat::writeFileAtomic(dir.filePath("files.txt"), plat::StringList::format(pictures)) ||
        !plat::writeFileAtomic(dir.filePath("events.txt"), plat::StringList::format(events)) ||
        !plat::writeFileAtomic(dir.filePath("vid.jpg"), rig::makeJpeg({32, 32})))
        return false;
    // The settings files a working folder is installed with: without them the settings
    // dialog's load would stop the start-up at its error box.
    for (const char* name : {"u.txt", "t1.txt", "t2.txt"})
        if (!QFile::copy(QStringLiteral(RAVLO_SOURCE_DIR "/resources/defaults/") + name, dir.filePath(name)))
            return false;
    // Eight different 640x480 pictures, copied to the newest entries.
    std::vector<QByteArray> jpegs;
    for (unsigned s = 1; s <= 8; ++s) jpegs.push_back(rig::makeJpeg({640, 480, 75, false, s}));
    for (int n = kPictures - kRealPictures; n < kPictures; ++n) {
        const QString file = dir.filePath(plat::nativePath(pictureName(n) + ".jpg"));
        if (!plat::writeFileAtomic(file, jpegs[size_t(n) % jpegs.size()])) return false;
    }
    return true;
}

// Reports the first paint of the window it watches, once.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> f) : f_(std::move(f)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && f_) {
            auto f = std::move(f_);
            f_ = nullptr;
            QTimer::singleShot(0, watched, std::move(f));
        }
        return QObject::eventFilter(watched, event);
    }
private:
    std::function<void()> f_;
};

// Times one press of a button and the repaint it causes; the first and the median of the rest.
struct Presses {
    double first = 0, median = 0, worst = 0;
};
Presses timePresses(QWidget& window, QAbstractButton& button) {
    std::vector<double> ms;
    for (int i = 0; i < kPresses; ++i) {
        const auto t = Steady::now();
        button.click();
        window.repaint();
        ms.push_back(msSince(t));
    }
    Presses p;
    p.first = ms.front();
    std::vector<double> rest(ms.begin() + 1, ms.end());
    std::sort(rest.begin(), rest.end());
    p.median = rest[rest.size() / 2];
    p.worst = rest.back();
    return p;
}

int child(int argc, char** argv, const QString& folder, Steady::time_point entry, double beforeMain) {
    QApplication app(argc, argv);
    if (!QDir::setCurrent(folder)) return 2;

    plat::SystemClock clock;
    plat::DesktopUi desktop;
    plat::QtPortSystem ports;
    fake::PortStore store;  // the remembered port is not measured and must not be changed
    fake::Notices notices;  // the bench measures the windows, not the desktop's tray
    plat::Platform sys{clock, desktop, ports, store, notices};

    const auto built = Steady::now();
    Program program(sys);
    const double buildMs = msSince(built);
    TForm1& form = program.form1;

    int rc = 1;
    FirstPaint watch([&] {
        const double fromStart = msSinceProcessStart();
        const double fromMain = msSince(entry);
        const Presses back = timePresses(form, *form.ui->Button5);
        const Presses event = timePresses(form, *form.ui->Button7);
        std::printf("first paint: %.0f ms from process start, %.1f ms from main (%.1f ms before main; "
                    "windows built and archive loaded in %.1f ms)\n",
                    fromStart, fromMain, beforeMain, buildMs);
        std::printf("\"<\":  first %.2f ms, median %.2f ms, worst %.2f ms of %d more\n", back.first, back.median,
                    back.worst, kPresses - 1);
        std::printf("\"<<\": first %.2f ms, median %.2f ms, worst %.2f ms of %d more\n", event.first, event.median,
                    event.worst, kPresses - 1);
        std::printf("shown after the presses: %s / event %d (%s)\n", qPrintable(form.ui->Label2->text()), form.epos,
                    qPrintable(form.ui->Label1->text()));
        std::fflush(stdout);
        rc = 0;
        QApplication::quit();
    });
    form.installEventFilter(&watch);
    // An error box would wait for a click that never comes: give up instead.
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "no paint within 60 s\n");
        QApplication::exit(3);
    });
    form.show();
    const int loop = QApplication::exec();
    return rc == 0 ? loop : rc;
}

} // namespace

int main(int argc, char** argv) {
    const auto entry = Steady::now();
    const double beforeMain = msSinceProcessStart();
    if (argc >= 3 && QByteArray(argv[1]) == "--child") return child(argc, argv, QString::fromLocal8Bit(argv[2]), entry, beforeMain);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    QTemporaryDir folder;
    QElapsedTimer made;
    made.start();
    if (!folder.isValid() || !makeArchive(folder.path())) {
        std::fprintf(stderr, "cannot make the working folder\n");
        return 1;
    }
    std::printf("working folder: %d pictures (%d with 640x480 files), %d events, made in %lld ms\n", kPictures,
                kRealPictures, kEvents, made.elapsed());
    std::printf("platform: %s\n", qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("(default)"))));
    for (int run = 1; run <= runs; ++run) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), folder.path()});
        if (!p.waitForFinished(120000) || p.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed (exit %d)\n", run, p.exitCode());
            return 1;
        }
        std::printf("run %d\n%s", run, p.readAllStandardOutput().constData());
    }
    return 0;
}
