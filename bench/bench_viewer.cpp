// Start-up, paging and filing on archives of 1,000 and of 1,000,000 pictures (events of four),
// side by side, to show what the archive's size costs.
//
//   bench_viewer [runs]             makes the two working folders, then starts itself `runs`
//                                   times (default 3) as a fresh process on each and prints the
//                                   median of each figure
//   bench_viewer --make FOLDER N    only makes a working folder of N pictures (to run the real
//                                   program on it, under /usr/bin/time -v say)
//   bench_viewer --child FOLDER     one measured run of the real windows in FOLDER
//
// A run reports the time from process start (the kernel's start time of the process in
// /proc/self/stat, 10 ms steps) to the first paint event of the main window and the resident
// size then, one "<" and one "<<" press, each with the repaint of the window it causes, and
// one filing of a picture (the CPU it costs, and the time with its syncs to the disk) with the
// resident size after it, and the opening of "Архив" (the first, which reads the days of every
// event, and a second), each with the window's first paint, and the resident size after it, and
// the journal of calls read again (as many lines as pictures, warm in the page cache) and the
// caller of every event found from its index, and the program's board "Объекты" of 100 units:
// what its station costs a filing's and a shown page's notice while the board is closed (every
// filing above is one with the board closed), its first opening (the one pass over the journal
// and the events) and a second, each with the window's first paint, and a filing while it is
// open. Run it with
// QT_QPA_PLATFORM=offscreen or under xvfb-run.
#include "fakes.h"
#include "jpegmaker.h"
#include "soak.h"
#include "acquisition/archive.h"
#include "acquisition/callers.h"
#include "acquisition/journal.h"
#include "app/program.h"
#include "platform/cp1251.h"
#include "platform/durable.h"
#include "platform/serial_qt.h"
#include "viewer/tform5.h"
#include "watch/tform6.h"
#include "watch/watch.h"
#include "ui_tform1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSizes[] = {1000, 1000000};
constexpr int kPerEvent = 4;
constexpr int kRealPictures = 200;  // the newest ones get real files: every page the run shows
constexpr int kPresses = 10;
constexpr int kUnits = 100;     // the book's units
constexpr int kStrangers = 10;  // numbers that call and are not in the book

using Steady = std::chrono::steady_clock;
double msSince(Steady::time_point t) { return std::chrono::duration<double, std::milli>(Steady::now() - t).count(); }

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

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
    // One picture about every 5 minutes from the start of 2017: a million reach into 2026.
    return ::pictureName(QDateTime(QDate(2017, 1, 1), QTime(0, 0)).addSecs(qint64(n) * 300), n);
}

// The number of unit u of the book (u < kUnits) or of a stranger (from kUnits on), as the book
// writes it; the network writes every other one in its national form.
QByteArray unitNumber(int u, bool network = false) {
    const QByteArray digits = "900100" + QByteArray::number(u).rightJustified(4, '0');
    return (network && u % 2 ? "8" : "+7") + digits;
}

// units.csv: the kUnits units of the book.
QByteArray bookOf() {
    QByteArray out = plat::toCp1251(QStringLiteral("Номер;Название;Комментарий;Интервал, ч;Проверка звонком\r\n"));
    for (int u = 0; u < kUnits; ++u)
        out += watch::Book::formatLine({unitNumber(u), QStringLiteral("Объект %1").arg(u + 1), {}, 24, false});
    return out;
}

// calls.csv for the archive: every event's call from one of the units or the strangers in
// turn, and after each three calls that brought nothing (a voice ring, a call without a data
// phase): a journal of as many lines as the archive has pictures.
QByteArray journalOf(int pictures) {
    QByteArray out = journal::heading();
    for (int n = 0, k = 0; n < pictures; n += kPerEvent, ++k) {
        journal::Call call;
        call.start = QDateTime(QDate(2017, 1, 1), QTime(0, 0)).addSecs(qint64(n) * 300 - 20);
        call.number = unitNumber(k % (kUnits + kStrangers), true);
        call.what = QStringLiteral("снимок");
        call.outcome = QStringLiteral("foto OK");
        call.bytes = 27776;
        for (int i = n; i < std::min(n + kPerEvent, pictures); ++i) call.pictures.append(pictureName(i));
        out += journal::formatLine(call);
        call.pictures.clear();
        call.bytes = 0;
        call.outcome = journal::notAnswered;
        for (int i = 1; i < kPerEvent; ++i) {
            call.start = call.start.addSecs(60);
            call.what = QStringLiteral("голосовой");
            out += journal::formatLine(call);
        }
    }
    return out;
}

bool makeArchive(const QString& folder, int pictures) {
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("foto"))) return false;
    // files.txt and events.txt as the program writes them: events of four pictures, in
    // filing order, that cover the whole list.
    QByteArray files, events;
    for (int n = 0; n < pictures; n += kPerEvent) {
        QByteArray line = QByteArray::number(std::min(kPerEvent, pictures - n)) + ",";
        for (int i = n; i < std::min(n + kPerEvent, pictures); ++i) {
            const QByteArray name = pictureName(i);
            files += name + "\r\n";
            line += name + ",";
        }
        events += line + "\r\n";
    }
    if (!plat::writeFileAtomic(dir.filePath("files.txt"), files) ||
        !plat::writeFileAtomic(dir.filePath("events.txt"), events) ||
        !plat::writeFileAtomic(dir.filePath(journal::file), journalOf(pictures)) ||
        !plat::writeFileAtomic(dir.filePath(watch::unitsFile), bookOf()) ||
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
    for (int n = std::max(pictures - kRealPictures, 0); n < pictures; ++n) {
        const QString file = dir.filePath(nativePath(pictureName(n) + ".jpg"));
        if (!plat::writeFileAtomic(file, jpegs[size_t(n) % jpegs.size()])) return false;
    }
    // What the next filing files: one picture of the unit, as a data phase leaves it.
    return plat::writeFileAtomic(dir.filePath("temp.dat"), "UNIT\r\n" + jpegs[0] + "\r\nNO CARRIER\r\n");
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

// Times presses of a button, each with the repaint it causes: the median of all but the first.
double medianPress(QWidget& window, QAbstractButton& button) {
    std::vector<double> ms;
    for (int i = 0; i < kPresses; ++i) {
        const auto t = Steady::now();
        button.click();
        window.repaint();
        ms.push_back(msSince(t));
    }
    std::vector<double> rest(ms.begin() + 1, ms.end());
    std::sort(rest.begin(), rest.end());
    return rest[rest.size() / 2];
}

// The program's watch station with its board of 100 units.
void measureBoard(TForm1& form) {
    watch::Watch& station = *form.watch;
    // Closed, the station only notes that the board must look again, and counts what is seen.
    const QList<QByteArray> page = form.ListBox1.mid(form.ListBox1.count() - 4);
    constexpr int kNotices = 1000;
    double cpu = cpuMs();
    for (int i = 0; i < kNotices; ++i) {
        station.filed();
        station.shown(page);
    }
    std::printf("closednote %.2f\n", (cpuMs() - cpu) * 1000.0 / kNotices);

    TForm6& board = *station.board();
    for (const char* key : {"board", "board2"}) {
        const auto opened = Steady::now();
        station.openBoard();
        board.repaint();
        std::printf("%s %.1f\n", key, msSince(opened));
        if (std::strcmp(key, "board") == 0) std::printf("rssboard %.1f\n", rig::residentKb() / 1024.0);
        board.close();
    }
    station.openBoard();
    cpu = cpuMs();
    form.convjpg();
    board.repaint();
    std::printf("fileopen %.2f\n", cpuMs() - cpu);
    board.close();
}

int child(int argc, char** argv, const QString& folder) {
    QApplication app(argc, argv);
    if (!QDir::setCurrent(folder)) return 2;

    plat::SystemClock clock;
    plat::DesktopUi desktop;
    plat::QtPortSystem ports;
    fake::PortStore store;  // the remembered port is not measured and must not be changed
    fake::Notices notices;  // the bench measures the windows, not the desktop's tray
    fake::Disk disk;
    plat::Platform sys{clock, desktop, ports, store, notices, disk};

    const auto built = Steady::now();
    Program program(sys);
    const double buildMs = msSince(built);
    TForm1& form = program.form1;

    int rc = 1;
    FirstPaint watch([&] {
        // One figure a line, "name value", for the parent to set side by side.
        std::printf("paint %.0f\nbuild %.1f\nrss %.1f\n", msSinceProcessStart(), buildMs, rig::residentKb() / 1024.0);
        std::printf("page %.2f\nevent %.2f\n", medianPress(form, *form.ui->Button5),
                    medianPress(form, *form.ui->Button7));
        const double cpu = cpuMs();
        const auto t = Steady::now();
        const int filed = form.convjpg();
        std::printf("filecpu %.2f\nfilewall %.2f\nfiled %d\nrssafter %.1f\n", cpuMs() - cpu, msSince(t), filed,
                    rig::residentKb() / 1024.0);
        {
            const auto t = Steady::now();
            journal::Journal again;
            again.load();
            std::printf("journal %.1f\n", msSince(t));
            const auto c = Steady::now();
            archive::Callers callers;
            callers.update(form.ListBox2, again);
            std::printf("callers %.1f\n", msSince(c));
        }
        TForm5& archive = program.form5;
        for (const char* key : {"archive", "archive2"}) {
            const auto opened = Steady::now();
            archive.open();
            archive.repaint();
            std::printf("%s %.1f\n", key, msSince(opened));
            archive.close();
        }
        std::printf("rssarchive %.1f\n", rig::residentKb() / 1024.0);
        measureBoard(form);
        std::fflush(stdout);
        rc = filed == 1 ? 0 : 4;
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && QByteArray(argv[1]) == "--child") return child(argc, argv, QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    if (argc >= 4 && QByteArray(argv[1]) == "--make")
        return makeArchive(QString::fromLocal8Bit(argv[2]), std::max(0, QByteArray(argv[3]).toInt())) ? 0 : 1;

    const int runs = argc >= 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    std::printf("platform: %s; %d runs of each, medians\n",
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("(default)"))), runs);
    QMap<QByteArray, std::vector<double>> figures[std::size(kSizes)];
    for (std::size_t k = 0; k < std::size(kSizes); ++k) {
        QTemporaryDir folder;
        QElapsedTimer made;
        made.start();
        if (!folder.isValid() || !makeArchive(folder.path(), kSizes[k])) {
            std::fprintf(stderr, "cannot make the working folder\n");
            return 1;
        }
        std::printf("%d pictures, %d events: working folder made in %lld ms\n", kSizes[k], kSizes[k] / kPerEvent,
                    made.elapsed());
        std::fflush(stdout);
        for (int run = 1; run <= runs; ++run) {
            // Every run starts from the same archive: the filing of the one before is undone.
            for (const QString& list : {QStringLiteral("files.txt"), QStringLiteral("events.txt")}) {
                const QString file = folder.filePath(list), kept = file + QStringLiteral(".kept");
                if (run == 1 ? !QFile::copy(file, kept) : !QFile::remove(file) || !QFile::copy(kept, file)) return 1;
            }
            QFile::remove(folder.filePath(watch::seenFile));  // every run counts from the same start
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), folder.path()});
            if (!p.waitForFinished(180000) || p.exitCode() != 0) {
                std::fprintf(stderr, "run %d failed (exit %d)\n", run, p.exitCode());
                return 1;
            }
            for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
                const QList<QByteArray> f = line.split(' ');
                if (f.size() == 2) figures[k][f[0]].push_back(f[1].toDouble());
            }
        }
    }
    const struct {
        const char* key;
        const char* text;
    } rows[] = {
        {"paint", "first paint, ms from process start"},
        {"build", "windows built and archive loaded, ms"},
        {"rss", "resident at first paint, MB"},
        {"page", "\"<\" with its repaint, ms"},
        {"event", "\"<<\" with its repaint, ms"},
        {"filecpu", "one filing: CPU, ms"},
        {"filewall", "one filing: time with its syncs, ms"},
        {"rssafter", "resident after the filing, MB"},
        {"journal", "journal of calls read again, ms"},
        {"callers", "caller of every event found, ms"},
        {"archive", "archive window opened, painted: first, ms"},
        {"archive2", "archive window opened again, ms"},
        {"rssarchive", "resident after the archive window, MB"},
        {"closednote", "board closed: filing+page notice, us"},
        {"board", "board of 100 units opened, painted, ms"},
        {"rssboard", "resident after the board, MB"},
        {"board2", "board opened again, ms"},
        {"fileopen", "board open: one filing, CPU, ms"},
    };
    std::printf("%-40s", "");
    for (int size : kSizes) std::printf("%12d", size);
    std::printf("  pictures\n");
    for (const auto& row : rows) {
        std::printf("%-40s", row.text);
        for (std::size_t k = 0; k < std::size(kSizes); ++k) std::printf("%12.2f", median(figures[k][row.key]));
        std::printf("\n");
    }
    return 0;
}
