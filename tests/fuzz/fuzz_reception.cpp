// The reception, answer phase and data phase, fed through the scripted line and ending in
// filing, in a temporary working folder (in memory where /dev/shm is). The first input byte
// splits the rest: its low seven bits give the length of the modem's part (the lines before
// the connect), the rest is what the unit sends in the call; its top bit makes the port
// vanish after the unit's bytes instead of the modem reporting the end of the call. Each
// input runs twice: as a call the poll notices, then as a call dialled by Снимок, in the one
// window, which every input leaves as it found it. After each run:
// - no flag is left set, the check box is clear and the progress bar hidden;
// - temp.dat, when a data phase ran, is a contiguous slice of the bytes sent, and the files
//   stored are exactly the pictures the cutter finds in what the buffer holds of it, each
//   beginning FF D8 and ending FF D9; without a data phase nothing is stored;
// - files.txt and events.txt agree with the lists in memory and with the folder foto;
// - a port that vanished is let go (portopen cleared).
#include "fakes.h"
#include "acquisition/archive.h"
#include "acquisition/jpegcut.h"
#include "app/tform1.h"
#include "platform/stringlist.h"
#include "ui_tform1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The working folder: in memory where the system offers a tmpfs (/dev/shm), where the syncs of
// every picture, list and temp.dat return at once instead of waiting for a disk.
QString folderTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/fuzz_reception-XXXXXX");
}

struct World : fake::World {
    QTemporaryDir dir{folderTemplate()};
    std::unique_ptr<TForm1> form;
};
World* world = nullptr;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_reception: %s\n", what);
    std::abort();
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Puts the window back as a fresh one finds an empty folder: no pictures, lists, journal of
// calls or phase files, no line, and no flag or position left from the last input. Run at the
// end of every input, so that what an input allocates it also frees: libFuzzer runs an input
// again, with a leak check, whenever it leaves more allocations than it found.
void resetWindow(TForm1& f) {
    QDir(QStringLiteral("foto")).removeRecursively();
    for (const QString& name :
         {archive::pictureList, archive::eventList, archive::phaseFile, archive::phaseMark, journal::file})
        QFile::remove(name);
    f.ListBox1.clear();
    f.ListBox2.clear();
    f.calls = journal::Journal();
    f.unfiled.clear();
    f.hcom.reset();
    f.portopen = 0;
    f.nfiles = f.fpos = 0;
    f.epos = -1;
    f.linkerr = f.otmena = f.readyshown = 0;
    f.keepstatus = f.prepareDue = f.phaseMarked = false;
    f.nfoto = 0;
    // As a fresh window has them, so that a read beyond what arrived finds no earlier input.
    std::fill(f.fotobuf.begin(), f.fotobuf.end(), 0);
    f.otvet.fill(0);
    world->ui.errors.clear();
    world->ui.messages.clear();
    world->notices.messages.clear();  // "Новые фото: N" in the tray
}

// The lists on disk match those in memory, every listed picture is in foto and nothing else is.
void checkArchive(const TForm1& f) {
    if (plat::StringList::parse(readAll("files.txt")) != f.ListBox1.lines())
        fail("files.txt differs from the picture list");
    if (plat::StringList::parse(readAll("events.txt")) != f.ListBox2.lines())
        fail("events.txt differs from the event list");
    if (f.nfiles != f.ListBox1.count()) fail("nfiles differs from the picture list");
    QStringList listed;
    for (const QByteArray& name : f.ListBox1.lines()) {
        if (!name.startsWith("foto\\")) fail("a picture outside foto");
        listed << QString::fromLatin1(name.mid(5)) + ".jpg";
    }
    QStringList present = QDir(QStringLiteral("foto")).entryList(QDir::Files, QDir::Name);
    listed.sort();
    if (present != listed) fail("foto holds other files than the picture list names");
    // One event line per filing that stored pictures, naming them in order.
    int next = 0;
    for (const QByteArray& line : f.ListBox2.lines()) {
        const QList<QByteArray> fields = line.split(',');
        const int c = fields.value(0).toInt();
        if (c <= 0 || fields.size() != c + 2 || !fields.last().isEmpty()) fail("a malformed event line");
        for (int i = 0; i < c; ++i)
            if (next >= f.ListBox1.count() || fields[i + 1] != f.ListBox1.at(next++))
                fail("an event names other pictures");
    }
    if (next != f.ListBox1.count()) fail("pictures that belong to no event");
}

// Checks one reception: what it stored (from picture index `before` on) against what was sent.
void checkRun(TForm1& f, const QByteArray& sent, int before, bool vanished) {
    if (f.busy || f.tmrstop || f.dialed) fail("a flag is still set");
    if (f.ui->CheckBox1->isChecked()) fail("the check box is still checked");
    if (!f.ui->Pbar1->isHidden()) fail("the progress bar is still shown");
    if (vanished && (f.portopen || f.hcom)) fail("a vanished port is still held");
    // Everything can be written in this folder: no "Can't create file", no "Порт занят".
    if (!world->ui.messages.isEmpty()) fail("a message box was shown");
    checkArchive(f);

    QList<QByteArray> stored;
    for (int i = before; i < f.ListBox1.count(); ++i) stored << readAll(nativePath(f.ListBox1.at(i) + ".jpg"));
    if (!QFile::exists(QStringLiteral("temp.dat"))) {
        if (!stored.isEmpty()) fail("pictures stored without a data phase");
        return;
    }
    const QByteArray temp = readAll("temp.dat");
    if (!temp.isEmpty() && sent.indexOf(temp) < 0) fail("temp.dat is not a slice of what was sent");
    const QByteArray held = temp.left(TForm1::kFotobufSize);
    QList<QByteArray> expected;
    for (const JpegSlice& s :
         cutJpegs(reinterpret_cast<const unsigned char*>(held.constData()), std::size_t(held.size())))
        expected << held.mid(qsizetype(s.start), qsizetype(s.size()));
    if (stored != expected) fail("the stored pictures are not those of the data phase");
    for (const QByteArray& p : stored)
        if (!p.startsWith("\xFF\xD8") || !p.endsWith("\xFF\xD9"))
            fail("a stored picture is not marked FF D8 ... FF D9");
    const QString status = f.panel(2);
    if (!stored.isEmpty() && status != QStringLiteral("foto OK")) fail("pictures stored but no \"foto OK\"");
    if (stored.isEmpty() && status != QStringLiteral("Ошибка связи")) fail("nothing stored but no \"Ошибка связи\"");
}

// A new line for the next run: the old one, with whatever it had left, is let go.
fake::ScriptedLine& freshLine(TForm1& f) {
    f.hcom.reset();
    f.portopen = 0;
    return world->ports.line();
}

void openLine(TForm1& f) {
    if (!f.setdcb()) fail("the scripted line does not open");
    f.portopen = 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    static World w;
    if (!w.dir.isValid() || !QDir::setCurrent(w.dir.path())) fail("no temporary working folder");
    w.form = std::make_unique<TForm1>(w.sys);
    w.form->telobj = "+79001112233";
    w.ui.events = false;
    world = &w;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    if (size == 0) return 0;
    TForm1& f = *world->form;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype modemLength = std::min<qsizetype>(data[0] & 0x7F, rest.size());
    const bool vanish = (data[0] & 0x80) != 0;
    const QByteArray modem = rest.left(modemLength) + "\r\nCONNECT 9600\r\n";
    const QByteArray unit = rest.mid(modemLength);
    const QByteArray end = vanish ? QByteArray() : QByteArray("\r\nNO CARRIER\r\n");

    // The unit calls; the poll takes the first byte and the reception answers.
    {
        bool gone = false;
        fake::ScriptedLine& line = freshLine(f);
        line.feed(modem + unit + end);
        if (vanish) line.then([&] { gone = true; }).vanish();
        openLine(f);
        f.handle([&] { f.Timer1Timer(); });
        checkRun(f, modem + unit + end, 0, gone);
    }

    // Снимок: the dial, the request, the unit's bytes.
    {
        QFile::remove(QStringLiteral("temp.dat"));
        const int before = f.ListBox1.count();
        bool gone = false;
        fake::ScriptedLine& line = freshLine(f);
        line.afterWrite("ATD").feed(modem).afterWrite("foto1\r").feed(unit + end);
        if (vanish) line.then([&] { gone = true; }).vanish();
        openLine(f);
        f.handle([&] { f.Button4Click(); });
        checkRun(f, modem + unit + end, before, gone);
    }
    // What the runs posted (repaints of the progress bar, the panels) is handled once here,
    // so that nothing piles up from one input to the next.
    QCoreApplication::processEvents();
    // Toolkit errors (a picture that cannot be shown) are of no interest and go with the rest.
    resetWindow(f);
    return 0;
}
