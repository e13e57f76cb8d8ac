#include "app/tform1.h"
#include "link/lines.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <algorithm>
#include <cstring>

unsigned TForm1::vvod(const char* cmd, char* reply, int length, int tmout) {
    linkerr = 0;
    purge();
    sendport(cmd, length);
    if (tmout < 1) tmout = 1;

    const std::uint32_t start = waitTick();
    int wpos = 0;   // write position in reply
    int lstart = 0; // start of the current line
    unsigned char last = 1;
    // The current line as the trace shows it.
    const auto line = [&] { return plat::escapeBytes(QByteArrayView(reply + lstart, wpos - lstart), plat::kTraceLine); };
    for (;;) {
        const std::uint32_t elapsed = waitTick() - start;
        if (elapsed > std::uint32_t(tmout) * 100u) {
            linkerr = 1;
            qCInfo(lcLink, "no reply recognised within %d.%d s; unfinished line \"%s\"", tmout / 10, tmout % 10,
                   line().constData());
            return VV_FAIL;
        }
        if (!ui->Pbar1->isHidden()) ui->Pbar1->setValue(int(std::min<std::uint32_t>(elapsed / std::uint32_t(tmout), 100)));

        unsigned char b = 0;
        const auto r = readport(b);
        if (r == plat::ReadResult::Byte) {
            last = b;
            if (wpos == kOtvetSize && lstart > 0) {
                // The buffer is full: only the current line matters, so move it to the front.
                std::memmove(reply, reply + lstart, size_t(wpos - lstart));
                wpos -= lstart;
                lstart = 0;
            }
            // A single line longer than the buffer keeps its head, which is all that is compared.
            if (wpos < kOtvetSize) reply[wpos++] = char(b);
        } else {
            // No byte, or a failed read: counts the same, so a handled line never counts twice.
            last = 1;
        }

        pump();
        if (otmena || closing) {
            otmena = 0;
            linkerr = 3;
            qCInfo(lcLink, "exchange cancelled");
            return VV_FAIL;
        }
        if (!hcom) {  // the port vanished under us
            linkerr = 2;
            qCInfo(lcLink, "exchange ended: the port is gone");
            return VV_FAIL;
        }
        if (last != 0 && last != '\n') continue;
        if (last == 0) {
            linkerr = 2;
            qCInfo(lcLink, "exchange ended: NUL byte from the line");
            return VV_FAIL;
        }
        const Reply seen = classifyLine(reply + lstart, wpos - lstart, false);
        const unsigned result = vvodResult(seen);
        qCDebug(lcLink, "reply \"%s\" -> %u (%s)", line().constData(), result, replyName(seen));
        if (result) return result;
        lstart = wpos;
    }
}
