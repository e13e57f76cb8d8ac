// The send-and-expect line recognition, fed through the scripted line: whatever the modem
// sends, vvod returns one of its results, never reads or writes past its buffer, and agrees
// with a plain re-reading of the same bytes.
#include "fakes.h"
#include "app/tform1.h"
#include "link/lines.h"

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace {
struct World : fake::World {
    std::unique_ptr<TForm1> form;
};
World* world = nullptr;

// What vvod must answer for these bytes, worked out line by line without any buffer limit.
unsigned expected(const QByteArray& in, int& linkerr) {
    linkerr = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\0') {
            linkerr = 2;
            return VV_FAIL;
        }
        if (in[i] != '\n') continue;
        const QByteArray line = in.mid(start, i + 1 - start);
        if (const unsigned r = vvodResult(classifyLine(line.constData(), int(line.size()), false))) return r;
        start = i + 1;
    }
    linkerr = 1;
    return VV_FAIL;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    static World w;
    w.form = std::make_unique<TForm1>(w.sys);
    world = &w;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const QByteArray in(reinterpret_cast<const char*>(data), qsizetype(size));
    TForm1& f = *world->form;
    world->ports.line().feed(in);
    if (!f.setdcb()) std::abort();
    f.portopen = 1;
    // Long enough that every byte is read before the time-out (1 ms of fake time each).
    const int tmout = int(size / 100) + 10;
    const QByteArray cmd("AT\r");
    const unsigned r = f.vvod(cmd.constData(), f.otvet.data(), int(cmd.size()), tmout);
    int linkerr = 0;
    const unsigned want = expected(in, linkerr);
    if (r != want || f.linkerr != linkerr) std::abort();
    return 0;
}
