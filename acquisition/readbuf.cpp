// The reception: the answer phase takes the unit's call, the data phase receives its picture
// stream into fotobuf and temp.dat, and filing stores the pictures.
#include "app/tform1.h"
#include "link/lines.h"
#include "platform/durable.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <algorithm>
#include <array>

namespace {

// The first bytes of the line being received: the line rules look at five of them, the trace
// shows up to 64. Kept apart from fotobuf so that it holds even where the buffer is full.
struct LineHead {
    std::array<char, 64> bytes{};
    int n = 0;
    int length = 0;  // of the whole line so far
    void add(unsigned char b) {
        if (n < int(bytes.size())) bytes[std::size_t(n++)] = char(b);
        ++length;
    }
    void clear() { n = length = 0; }
    Reply reply(bool withClip) const { return classifyLine(bytes.data(), n, withClip); }
    QByteArray shown() const {
        QByteArray out = plat::escapeBytes(QByteArrayView(bytes.data(), n));
        if (length > n) out += "...(+" + QByteArray::number(length - n) + ')';
        return out;
    }
};

constexpr std::uint32_t kAnswerBase = 100;  // tenths of a second: 10 s from the last line
constexpr std::uint32_t kDataBase = 800;    // 80 s from the connect line

} // namespace

void TForm1::showprogress(std::uint32_t elapsed, std::uint32_t base) {
    if (!ui->Pbar1->isHidden()) ui->Pbar1->setValue(int(std::min<std::uint32_t>(elapsed / base, 100)));
}

void TForm1::readbuf() {
    bool failed = false;
    const char* ending = "";  // how the phase ended, for the trace
    const auto fail = [&](int reason, const char* why) {
        linkerr = reason;
        failed = true;
        ending = why;
    };
    // After every pass: a cancel (Отмена, Выход or the window closing) or a vanished port ends
    // the phase.
    const auto interrupted = [&] {
        if (otmena || closing) {
            otmena = 0;
            fail(3, "cancel");
        } else if (!hcom) {
            fail(2, "the port gone");
        }
        return failed;
    };

    if (dialed != 1) {
        // Answer phase: the modem's lines, the poll's byte being the first byte of the first.
        LineHead head;
        std::uint32_t start = waitTick();
        bool connected = false;
        // One received byte; true when it ends the phase.
        const auto take = [&](unsigned char b) {
            head.add(b);
            if (b == 0) {
                fail(2, "a NUL byte");
                return true;
            }
            if (b != '\n') return false;
            const Reply seen = head.reply(true);
            qCDebug(lcLink, "answer \"%s\" -> %s", head.shown().constData(), replyName(seen));
            switch (seen) {
            case Reply::Connect: connected = true; return true;
            case Reply::NoCarrier: fail(2, "NO CARRIER"); return true;
            case Reply::Error: fail(4, "ERROR"); return true;
            case Reply::Ring: setPanel(2, QStringLiteral("Звонок")); break;
            case Reply::Clip:
                if (hcom) sendport("ATA\r", 4);  // no purge: the modem's next lines must stay
                break;
            default: break;
            }
            // Every completed line opens a new 10 s window.
            head.clear();
            start = waitTick();
            return false;
        };
        bool done = false;
        if (nfoto == 1) done = take(fotobuf[0]);
        nfoto = 0;
        while (!done) {
            const std::uint32_t elapsed = waitTick() - start;
            if (elapsed > kAnswerBase * 100) {
                fail(1, "no line for 10 s");
                break;
            }
            showprogress(elapsed, kAnswerBase);
            const bool got = readport(inbyte) == plat::ReadResult::Byte;
            pump();
            if (interrupted()) break;
            if (got) done = take(inbyte);
        }
        if (!connected) {
            qCInfo(lcLink, "answer phase failed: %s (err %d)", ending, linkerr);
            setPanel(0, QStringLiteral("err ") + QString::number(linkerr));
            return;
        }
    }

    // Data phase: every byte goes to fotobuf (as far as it holds) and is appended to temp.dat
    // at once, so the file always holds the whole phase so far.
    setPanel(2, QStringLiteral("Прием фото"));
    nfoto = 0;
    QFile temp(QStringLiteral("temp.dat"));
    bool tempOk = temp.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!tempOk) qCInfo(lcArchive, "temp.dat not opened: %s", qUtf8Printable(temp.errorString()));
    qCDebug(lcLink, "data phase: receiving");
    // The phase is marked once temp.dat is empty on the disk, so that a start after a crash
    // files what it then holds and never the transfer before it.
    if (tempOk && plat::syncFile(temp)) markPhase();
    qint64 received = 0;
    unsigned char last = 0;
    LineHead head;
    const std::uint32_t start = waitTick();
    for (;;) {
        const std::uint32_t elapsed = waitTick() - start;
        if (elapsed > kDataBase * 100) {
            linkerr = 1;  // what arrived is filed; no failure text
            ending = "the 80 s time-out";
            break;
        }
        showprogress(elapsed, kDataBase);
        const bool got = readport(inbyte) == plat::ReadResult::Byte;
        if (got) {
            ++received;
            if (nfoto < kFotobufSize) fotobuf[std::size_t(nfoto++)] = inbyte;
            if (tempOk && temp.write(reinterpret_cast<const char*>(&inbyte), 1) != 1) {
                qCInfo(lcArchive, "temp.dat write failed after %lld bytes: %s", received - 1,
                       qUtf8Printable(temp.errorString()));
                tempOk = false;
                temp.close();
            }
            // Every picture that arrived whole is on the disk at its end marker.
            if (tempOk && last == 0xFF && inbyte == 0xD9) plat::syncFile(temp);
            last = inbyte;
            head.add(inbyte);
        }
        pump();
        if (interrupted()) break;
        // Line feeds occur inside picture data too; they only mark where the next line
        // starts, and a line beginning "NO CA" ends the transfer.
        if (got && inbyte == '\n') {
            if (head.reply(false) == Reply::NoCarrier) {
                ending = "NO CARRIER";
                break;
            }
            head.clear();
        }
    }
    if (tempOk) {
        plat::syncFile(temp);
        qCDebug(lcArchive, "temp.dat written: %lld bytes", received);
    }
    temp.close();
    // temp.dat could not be written: the failure is shown, and filing works on fotobuf.
    if (failed || !tempOk) setPanel(0, QStringLiteral("err ") + QString::number(linkerr));

    // Only what arrived in this phase is filed: a phase that brought nothing stores nothing
    // of its own. Pictures held from an earlier filing that found the disk full may still be
    // stored now; they are shown, while the status speaks of this phase alone.
    const int before = nfiles;
    const int filed = filebuf(fotobuf.data(), std::size_t(nfoto));
    qCInfo(lcLink, "data phase: %lld bytes received in %.1f s, %d picture(s) filed; ended by %s", received,
           double(waitTick() - start) / 1000.0, filed, ending);
    if (received > nfoto) qCInfo(lcLink, "data phase: only its first %d bytes were kept for cutting", nfoto);
    setPanel(2, filed > 0 ? QStringLiteral("foto OK") : QStringLiteral("Ошибка связи"));
    if (nfiles != before) updimage(nfiles);
}
