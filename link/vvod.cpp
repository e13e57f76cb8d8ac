#include "app/tform1.h"
#include "link/lines.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <QScopeGuard>

#include <algorithm>
#include <utility>

const char* TForm1::interrupted() {
    if (otmena || closing) {
        otmena = 0;
        linkerr = LE_CANCEL;
        return "cancel";
    }
    if (!hcom) {
        linkerr = LE_LOST;
        return "the port gone";
    }
    return nullptr;
}

void TForm1::showprogress(std::uint32_t elapsed, std::uint32_t base) {
    if (!ui->Pbar1->isHidden()) ui->Pbar1->setValue(int(std::min<std::uint32_t>(elapsed / base, 100)));
}

const char* TForm1::await(const std::uint32_t& start, std::uint32_t base, const WaitPass& pass, const WaitRead& read) {
    for (;;) {
        const std::uint32_t elapsed = waitTick() - start;
        if (elapsed > base * 100u) {
            linkerr = LE_TIMEOUT;
            return "the time-out";
        }
        showprogress(elapsed, base);
        // No byte and a failed read count the same, so a handled line never counts twice.
        unsigned char b = 0;
        const bool got = readport(b) == plat::ReadResult::Byte;
        // What the caller keeps of every byte is kept before the pump, so that a cancel taken
        // after it loses none.
        if (got && read) read(b);
        pump();
        if (const char* why = interrupted()) return why;
        if (pass(got ? std::optional<unsigned char>(b) : std::nullopt)) return nullptr;
    }
}

TForm1::LineByte TForm1::linebyte(LineHead& line, unsigned char b) {
    const bool ended = line.add(b);
    if (b == 0) {
        linkerr = LE_LOST;
        return LineByte::Nul;
    }
    if (!ended) return LineByte::Added;
    heard(line);
    return LineByte::Ended;
}

unsigned TForm1::vvod(const char* cmd, char* reply, int length, int tmout) {
    linkerr = LE_NONE;
    purge();
    sendport(cmd, length);
    // Each line is taken into reply from its start; its head is what the rules compare.
    LineHead line({reply, std::size_t(kOtvetSize)});
    return expect(line, tmout);
}

unsigned TForm1::expect(LineHead& line, int tmout) {
    if (tmout < 1) tmout = 1;
    unsigned result = VV_FAIL;
    // Every byte goes into the line as it is read, before the pump: a line that a cancel cuts
    // off keeps the byte of the cancel's own pass, so that the dial's give-up still sees it.
    LineByte took = LineByte::Added;
    const std::uint32_t start = waitTick();
    const char* why = await(
        start, std::uint32_t(tmout),
        [&](std::optional<unsigned char> b) {
            if (!b) return false;
            if (took == LineByte::Nul) qCInfo(lcLink, "exchange ended: NUL byte from the line");
            if (took != LineByte::Ended) return took == LineByte::Nul;
            const Reply seen = line.reply(false);
            result = vvodResult(seen);
            qCDebug(lcLink, "reply \"%s\" -> %u (%s)", line.shown().constData(), result, replyName(seen));
            if (result) return true;
            line.clear();
            return false;
        },
        [&](unsigned char b) { took = linebyte(line, b); });
    cutoff.clear();
    if (why && linkerr == LE_TIMEOUT)
        qCInfo(lcLink, "no reply recognised within %d.%d s; unfinished line \"%s\"", tmout / 10, tmout % 10,
               line.shown().constData());
    else if (why) qCInfo(lcLink, "exchange ended: %s", why);
    if (why && linkerr == LE_CANCEL) cutoff = line.text().toByteArray();
    return result;
}

void TForm1::abortdial() {
    if (!hcom) return;
    // Any character from the PC makes a dialling modem give up the call; it says so with
    // "NO CARRIER" (some with "OK"). No purge before it: a connect that crossed the cancel must
    // still be seen. A closing window waits for nothing, but the modem is told all the same,
    // or it would dial on and connect with nobody there.
    qCInfo(lcLink, "dialling cancelled: the modem is told to give up the call");
    const int why = linkerr;  // the exchange failed for the cancel, whatever the modem answers now
    const auto restore = qScopeGuard([&] { linkerr = why; });
    LineHead line({otvet.data(), otvet.size()});
    bool crossed = false;
    for (const char c : std::exchange(cutoff, {}))
        if (line.add(static_cast<unsigned char>(c))) {
            crossed = crossed || line.reply(false) == Reply::Connect;
            line.clear();
        }
    sendport("\r");
    if (closing) return;
    // The answer is waited for here, briefly, so that the poll does not take it for the start
    // of a call.
    if (!crossed) crossed = expect(line, kGiveUpTenths) == VV_CONNECT;
    if (!crossed) return;
    // The call stood up as it was cancelled: the unit, asked for nothing, hangs up by itself.
    // Its end is awaited here, so that no poll takes it for a call; a wait cut short leaves
    // its "NO CARRIER" to the poll, which knows it for the end of no call of its own.
    qCInfo(lcLink, "the call connected as it was cancelled: its end is awaited");
    LineHead end({otvet.data(), otvet.size()});
    const std::uint32_t start = waitTick();
    const char* ended = await(start, kStrayCallTenths, [&](std::optional<unsigned char> b) {
        if (!b || !end.add(*b)) return false;
        if (end.reply(false) == Reply::NoCarrier) return true;
        end.clear();
        return false;
    });
    qCInfo(lcLink, "the cancelled call %s", ended ? "was not seen to end" : "ended");
}
