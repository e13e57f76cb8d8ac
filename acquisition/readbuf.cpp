// The reception: the answer phase takes the unit's call, the data phase receives its picture
// stream into fotobuf and temp.dat, and filing stores the pictures.
#include "acquisition/phasefile.h"
#include "app/tform1.h"
#include "link/lines.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <QScopeGuard>

#include <array>

namespace {

// What panel 2 says while a call rings. A call that is not the unit's is left ringing, and its
// text stays on the panel long after: it carries the time of the ring, so that it does not read
// as a call under way.
QString ringText(RingKind kind, const QDateTime& now) {
    const QString at = QLatin1Char(' ') + now.toString(QStringLiteral("hh:mm"));
    switch (kind) {
    case RingKind::Voice: return QStringLiteral("Голосовой звонок") + at;
    case RingKind::Fax: return QStringLiteral("Звонок факса") + at;
    case RingKind::Packet: return QStringLiteral("Вызов GPRS") + at;
    default: return QStringLiteral("Звонок");
    }
}

// What the journal says a call that was not answered was: the kind its last ring named, or
// "звонок" for a bare "RING" (or none), which names no kind.
QString ringWhat(RingKind kind, bool named) {
    if (!named) return QStringLiteral("звонок");
    switch (kind) {
    case RingKind::Voice: return QStringLiteral("голосовой");
    case RingKind::Fax: return QStringLiteral("факс");
    case RingKind::Packet: return QStringLiteral("GPRS");
    default: return QStringLiteral("данные");
    }
}

constexpr std::uint32_t kAnswerBase = 100;  // tenths of a second: 10 s from the last line
constexpr std::uint32_t kDataBase = 800;    // 80 s from the connect line

}  // namespace

void TForm1::readbuf() {
    otmena = 0;  // a cancel pressed before the reception began is not for it
    // The unit's call is entered in the journal here; a call this program dialled was entered
    // by the dialling, which writes it.
    const bool own = !call;
    begincall(journal::Direction::Incoming, {}, QStringLiteral("снимок"));
    const auto entered = qScopeGuard([this, own] {
        if (own) endcall();
    });
    if (dialed != 1 && !answerphase()) return;
    dataphase();
}

bool TForm1::answerphase() {
    // The head of the line being received, kept apart from fotobuf.
    std::array<char, plat::kTraceLine> room{};
    LineHead head(room);
    std::uint32_t start = waitTick();
    const char* ending = nullptr;  // why the phase failed; stays null once connected
    static constexpr const char* noCarrier = "NO CARRIER";
    bool connected = false;
    // What the modem said besides: a ring, a caller line, the announcement of a restart.
    bool rang = false, caller = false, started = false;
    // The kind of the last ring. Only data calls are the unit's: a voice, fax or GPRS call
    // rings on unanswered until its caller gives up, and a data call after it is taken.
    RingKind ring = RingKind::Data;
    bool named = false;     // the last ring line named its kind ("+CRING: ..."), for the journal
    bool declined = false;  // a call that was not the unit's rang
    bool answered = false;  // "ATA" went out
    // One received byte; true when it ends the phase.
    const auto take = [&](unsigned char b) {
        const LineByte took = linebyte(head, b);
        if (took == LineByte::Nul) ending = "a NUL byte";
        if (took != LineByte::Ended) return took == LineByte::Nul;
        const Reply seen = head.reply(true);
        if (head.isRing()) {
            rang = true;
            ring = head.ringKind();
            const QByteArray type = ringType(head.text());
            named = !type.isEmpty() && type != "RING";
            if (ring != RingKind::Data && !declined)
                qCInfo(lcLink, "\"%s\" is not the unit's call: not answered", head.shown().constData());
            declined = declined || ring != RingKind::Data;
        }
        caller = caller || seen == Reply::Clip;
        started = started || head.announcesStart();
        qCDebug(lcLink, "answer \"%s\" -> %s", head.shown().constData(), replyName(seen));
        switch (seen) {
        case Reply::Connect: connected = true; return true;
        case Reply::NoCarrier:
            linkerr = LE_LOST;
            ending = noCarrier;
            return true;
        case Reply::Error:
            linkerr = LE_ERROR;
            ending = "ERROR";
            return true;
        case Reply::Ring: setPanel(2, ringText(ring, sys.clock.now())); break;
        case Reply::Clip:
            if (call) call->number = callerNumber(head.text());
            if (ring != RingKind::Data) break;
            if (hcom) sendport("ATA\r");  // no purge: the modem's next lines must stay
            answered = true;
            break;
        default: break;
        }
        // Every completed line opens a new 10 s window.
        head.clear();
        start = waitTick();
        return false;
    };
    const bool done = nfoto == 1 && take(fotobuf[0]);
    nfoto = 0;
    if (!done) {
        if (const char* why = await(start, kAnswerBase, [&](std::optional<unsigned char> b) { return b && take(*b); }))
            ending = linkerr == LE_TIMEOUT ? "no line for 10 s" : why;
    }
    if (connected) return true;
    if (call) {
        if (!rang && !caller) {
            call.reset();  // no call: the modem restarted, or a stray line
        } else if (!answered) {
            call->what = ringWhat(ring, named);
            call->outcome = journal::notAnswered;
        } else {
            call->outcome = QStringLiteral("err ") + QString::number(linkerr);
        }
    }
    if (rang && !caller && listening && !closing) {
        // A prepared modem follows every ring with a caller line, even for a withheld number.
        // One that rang without any has restarted without a word and forgotten AT+CLIP=1:
        // prepared again now that the ringing has stopped, the unit's next attempt is taken.
        qCInfo(lcLink, "a ring without a caller line: the modem has forgotten its preparation");
        prepareDue = true;
    }
    if (declined && !answered && (linkerr == LE_TIMEOUT || ending == noCarrier)) {
        // Only a call that was not the unit's rang, and it has stopped: no failure of the
        // station's. Panel 2 keeps saying what rang.
        qCInfo(lcLink, "answer phase ended: the call was not the unit's (%s)", ending);
        keepstatus = true;
        return false;
    }
    if (!rang && !caller && ending == noCarrier) {
        // No call rang: this is the end of a call that nobody here took, one that connected as
        // its dial was cancelled. No failure of the station's.
        qCInfo(lcLink, "answer phase ended: \"NO CARRIER\" of a call that was not taken");
        return false;
    }
    if (started && !rang && linkerr == LE_TIMEOUT) {
        // Not a call: the modem restarted, and the poll prepares it again.
        qCInfo(lcLink, "answer phase ended: the modem restarted");
        return false;
    }
    qCInfo(lcLink, "answer phase failed: %s (err %d)", ending, linkerr);
    setPanel(0, QStringLiteral("err ") + QString::number(linkerr));
    return false;
}

void TForm1::dataphase() {
    // Every byte goes to fotobuf, as far as it holds, and to temp.dat.
    setPanel(2, QStringLiteral("Прием фото"));
    nfoto = 0;
    PhaseFile temp;
    qCDebug(lcLink, "data phase: receiving");
    // The phase is marked once temp.dat is empty on the disk, so that a start after a crash
    // files what it then holds and never the transfer before it.
    if (temp.synced()) markPhase();
    qint64 received = 0;
    std::array<char, plat::kTraceLine> room{};
    LineHead head(room);
    const char* failure = nullptr;  // a cancel or the port gone
    const char* ending = "NO CARRIER";
    bool ended = false;  // the byte read ended a line
    const std::uint32_t start = waitTick();
    const auto store = [&](unsigned char b) {
        // Line feeds occur inside picture data too; they only mark where the next line
        // starts, and a line beginning "NO CA" ends the transfer.
        ended = head.add(b);
        ++received;
        if (nfoto < kFotobufSize) fotobuf[std::size_t(nfoto++)] = b;
        temp.append(b);
    };
    const auto line = [&](std::optional<unsigned char> b) {
        if (!b || !ended) return false;
        heard(head);  // a modem that restarted in the call says so after its data
        if (head.reply(false) == Reply::NoCarrier) return true;
        head.clear();
        return false;
    };
    if (const char* why = await(start, kDataBase, line, store)) {
        // At the time-out what arrived is filed, with no failure text.
        if (linkerr == LE_TIMEOUT) ending = "the 80 s time-out";
        else ending = failure = why;
    }
    temp.finish();
    // temp.dat could not be written: the failure is shown, and filing works on fotobuf.
    if (failure || !temp.ok()) setPanel(0, QStringLiteral("err ") + QString::number(linkerr));

    // Only what arrived in this phase is filed: a phase that brought nothing stores nothing
    // of its own. Pictures held from an earlier filing that found the disk full may still be
    // stored now; they are shown, while the status speaks of this phase alone. Pictures this
    // phase cannot store are held with its call.
    const int before = nfiles;
    const int filed = filebuf(fotobuf.data(), std::size_t(nfoto), call);
    qCInfo(lcLink, "data phase: %lld bytes received in %.1f s, %d picture(s) filed; ended by %s", received,
           double(waitTick() - start) / 1000.0, filed, ending);
    if (received > nfoto) qCInfo(lcLink, "data phase: only its first %d bytes were kept for cutting", nfoto);
    setPanel(2, filed > 0 ? QStringLiteral("foto OK") : QStringLiteral("Ошибка связи"));
    if (call) {
        call->bytes = received;
        // The pictures of this phase: its event, the last one filed. Held pictures that were
        // stored before it have a line of their own, naming their call.
        call->pictures = ListBox1.mid(ListBox1.count() - filed);
        call->outcome = panel(2);
        if (failure || !temp.ok()) call->outcome += QStringLiteral(", ") + panel(0);
    }
    if (nfiles != before) {
        announce(nfiles - before);  // then the panes, a picture they cannot show as its mark
        updimage(nfiles);
    }
}

void TForm1::announce(int stored) {
    // An operator who works in this window sees the pictures in the panes.
    if (stored <= 0 || sys.notices.active(*this)) return;
    sys.notices.alert(*this);
    if (tray) sys.notices.trayMessage(QStringLiteral("Новые фото: %1").arg(stored));
}
