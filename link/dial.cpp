// Setting up the link to the unit for an exchange: dialling it over GSM, or the handshake over
// the cable. Either makes its attempts one straight after the other, with no pause between.
#include "app/tform1.h"

namespace {

constexpr int kDials = 6;             // dial commands before the unit counts as unreachable
constexpr int kDialTenths = 600;      // the wait for each one's "CONNECT"
constexpr int kHandshakes = 10;       // "BC\r" handshakes before the cable counts as unplugged
constexpr int kHandshakeTenths = 60;  // the wait for each one's "OK"

// Panel 2 before each attempt after the first: "Попытка" and its number, from 2 on.
QString attemptText(int attempt) { return QStringLiteral("Попытка%1").arg(attempt + 1); }

}  // namespace

TForm1::LinkEnd TForm1::dialunit(DialFor who, const QByteArray& number) {
    const bool numbered = who == DialFor::Settings;
    const QByteArray dial = "ATD" + number + "\r";
    bool cancelled = false;
    for (int attempt = 0; attempt < kDials; ++attempt) {
        if (numbered && attempt > 0) setPanel(2, attemptText(attempt));
        // A closing window makes no further attempt; a vanished port can make none.
        if (closing || cancelled) return LinkEnd::Stopped;
        if (!hcom) break;
        if (!numbered || attempt == 0) setPanel(2, QStringLiteral("Набор номера"));
        if (vvod(dial, kDialTenths) == VV_CONNECT) return LinkEnd::Linked;
        if (linkerr == LE_CANCEL) {
            abortdial();
            if (!numbered) return LinkEnd::Cancelled;
            cancelled = true;
        }
    }
    return LinkEnd::Failed;
}

TForm1::LinkEnd TForm1::cablelink() {
    for (int attempt = 0; attempt < kHandshakes; ++attempt) {
        if (attempt > 0) setPanel(2, attemptText(attempt));
        if (closing || linkerr == LE_CANCEL) return LinkEnd::Stopped;
        if (vvod("BC\r", kHandshakeTenths) == VV_OK) return LinkEnd::Linked;
    }
    return LinkEnd::Failed;
}
