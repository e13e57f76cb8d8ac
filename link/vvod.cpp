#include "app/tform1.h"
#include "link/lines.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <algorithm>

const char* TForm1::interrupted() {
    if (otmena || closing) {
        otmena = 0;
        linkerr = 3;
        return "cancel";
    }
    if (!hcom) {
        linkerr = 2;
        return "the port gone";
    }
    return nullptr;
}

void TForm1::showprogress(std::uint32_t elapsed, std::uint32_t base) {
    if (!ui->Pbar1->isHidden()) ui->Pbar1->setValue(int(std::min<std::uint32_t>(elapsed / base, 100)));
}

unsigned TForm1::vvod(const char* cmd, char* reply, int length, int tmout) {
    linkerr = 0;
    purge();
    sendport(cmd, length);
    if (tmout < 1) tmout = 1;

    const std::uint32_t start = waitTick();
    // Each line is taken into reply from its start; its head is what the rules compare.
    LineHead line({reply, std::size_t(kOtvetSize)});
    for (;;) {
        const std::uint32_t elapsed = waitTick() - start;
        if (elapsed > std::uint32_t(tmout) * 100u) {
            linkerr = 1;
            qCInfo(lcLink, "no reply recognised within %d.%d s; unfinished line \"%s\"", tmout / 10, tmout % 10,
                   line.shown().constData());
            return VV_FAIL;
        }
        showprogress(elapsed, std::uint32_t(tmout));

        // No byte and a failed read count the same, so a handled line never counts twice.
        unsigned char b = 0;
        const bool got = readport(b) == plat::ReadResult::Byte;
        const bool ended = got && line.add(b);

        pump();
        if (const char* why = interrupted()) {
            qCInfo(lcLink, "exchange ended: %s", why);
            return VV_FAIL;
        }
        if (got && b == 0) {
            linkerr = 2;
            qCInfo(lcLink, "exchange ended: NUL byte from the line");
            return VV_FAIL;
        }
        if (!ended) continue;
        heard(line);
        const Reply seen = line.reply(false);
        const unsigned result = vvodResult(seen);
        qCDebug(lcLink, "reply \"%s\" -> %u (%s)", line.shown().constData(), result, replyName(seen));
        if (result) return result;
        line.clear();
    }
}

void TForm1::abortdial() {
    if (!hcom || closing) return;
    // Any character from the PC makes a dialling modem give up the call; it says so with
    // "NO CARRIER" (some with "OK"). That answer is waited for here, briefly, so that the
    // poll does not take it for the start of a call.
    qCInfo(lcLink, "dialling cancelled: the modem is told to give up the call");
    const int why = linkerr;  // the exchange failed for the cancel, whatever the modem answers now
    vvod("\r", otvet.data(), 1, 20);
    linkerr = why;
}
