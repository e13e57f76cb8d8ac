// The settings transfer: the settings dialog, then the cable link or a dialled call, then the
// clock and the settings in lock-step, each item answered by "OK" before the next is sent.
#include "config/transfer.h"
#include "app/tform1.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"

#include <QScopeGuard>

namespace {

unsigned char bcd(const QString& text, int at) {
    return static_cast<unsigned char>(((text[at].unicode() - 0x30) * 16 + (text[at + 1].unicode() - 0x30)) & 0xFF);
}

// A final text of the transfer: in panel 2, and the outcome of the call in the journal.
void conclude(TForm1& f, const QString& text) {
    f.setPanel(2, text);
    if (f.call) f.call->outcome = text;
}

// One item of the exchange: true when the unit answered it with a line beginning "OK".
bool send(TForm1& f, QByteArrayView bytes, int tmout) { return f.vvod(bytes, tmout) == VV_OK; }

void sendSettings(TForm1& f, const TForm2::Ustanovki& u) {
    if (!send(f, "time \r", 100)) {
        conclude(f, QStringLiteral("Передать не удалось"));
        return;
    }
    // Every later item that is not answered ends the transfer with an empty status.
    auto fail = [&f] { f.setPanel(2, QString()); };
    if (!send(f, clockRecord(f.sys.clock.now(), u.resolution), 400)) return fail();
    for (const QString& text : {u.apn, u.user, u.pass})
        if (!send(f, textItem(plat::toCp1251(text)), 100)) return fail();
    if (!send(f, u.otherOperator ? "2\r" : "1\r", 100)) return fail();
    if (!send(f, u.simSettings ? "1\r" : "2\r", 100)) return fail();
    // With the SIM card's settings the unit needs neither the e-mail login nor the report list.
    if (!u.simSettings) {
        if (!send(f, textItem(plat::toCp1251(u.email)), 100)) return fail();
        for (const QByteArray& tel : f.tel)
            if (!send(f, phoneRecord(tel), 100)) return fail();
        if (!send(f, textItem(f.levs), 100)) return fail();
    }
    conclude(f, QStringLiteral("Установки успешно переданы"));
}

}  // namespace

std::array<unsigned char, 10> clockRecord(const QDateTime& now, int resolutionItem) {
    const QString t = now.toString(QStringLiteral("hhmmss_ddMMyy"));
    const unsigned char code =
        resolutionItem >= 0 && resolutionItem <= 2 ? static_cast<unsigned char>('1' + resolutionItem) : '1';
    return {bcd(t, 4), bcd(t, 2), bcd(t, 0), bcd(t, 7), bcd(t, 9), bcd(t, 11), code, code, 0x01, 0x01};
}

void convtel(unsigned char* out, const char* tel, int len) {
    for (int i = 0; i < 8; ++i) out[i] = 0x01;
    // Fifteen characters fill seven and a half bytes; more would push the end mark past
    // the eighth byte, so only the first fifteen are packed.
    if (len > 15) len = 15;
    if (len < 0) len = 0;
    auto code = [](char c, int& v) {
        if (c == '+') v = 0x0A;
        else if (c == '*') v = 0x0C;
        else if (c >= '0' && c <= '9') v = c - '0';
        else return false;
        return true;
    };
    int i = 0, o = 0;
    for (;;) {
        if (i >= len) {
            out[o] = 0xB0;
            return;
        }
        int v = 0;
        if (code(tel[i++], v)) out[o] = static_cast<unsigned char>(v << 4);
        if (i >= len) {
            out[o] = static_cast<unsigned char>(out[o] + 0x0B);
            return;
        }
        if (code(tel[i++], v)) out[o] = static_cast<unsigned char>(out[o] + v);
        ++o;
    }
}

std::array<unsigned char, 9> phoneRecord(const QByteArray& tel) {
    std::array<unsigned char, 9> out{};
    convtel(out.data(), tel.constData(), int(tel.size()));
    out[8] = 0x0D;
    return out;
}

QByteArray textItem(const QByteArray& text) { return (text.isEmpty() ? QByteArrayLiteral("1") : text) + '\r'; }

void TForm1::Button1Click() {
    const int result = form2 ? form2->exec() : plat::mrCancel;
    showtelobj();

    // A reception or "Снимок" is running (this click came in during one of its waits): it owns
    // the port, the progress bar and linkerr. The settings are saved, but not sent now.
    if (busy) {
        if (result == TForm2::mrDirectWrite || result == TForm2::mrRemoteWrite)
            setPanel(2, QStringLiteral("Линия занята, не передано"));
        return;
    }
    const auto hideProgress = qScopeGuard([this] { ui->Pbar1->hide(); });
    linkerr = LE_NONE;
    if ((result != TForm2::mrDirectWrite && result != TForm2::mrRemoteWrite) || closing) return;

    // The poll, "Снимок", a reception and a second transfer stay off the port meanwhile.
    const Exchange exchange(*this);
    otmena = 0;  // a cancel pressed before the transfer began is not for it

    if (!openport()) return;  // it has shown its message
    const bool cable = result == TForm2::mrDirectWrite;
    begincall(cable ? journal::Direction::Cable : journal::Direction::Outgoing, cable ? QByteArray() : telobj,
              QStringLiteral("установки"));
    // Without a final text (a cancel, an item answered otherwise than "OK") the journal says
    // that nothing was sent, and why when a wait failed.
    call->outcome.clear();
    const auto entered = qScopeGuard([this] {
        if (call && call->outcome.isEmpty())
            call->outcome =
                QStringLiteral("не передано") + (linkerr ? QStringLiteral(", err %1").arg(linkerr) : QString());
        endcall();
    });
    ui->Pbar1->show();
    switch (cable ? cablelink() : dialunit(DialFor::Settings, telobj)) {
    case LinkEnd::Linked: sendSettings(*this, form2->ustanovki()); break;
    case LinkEnd::Failed:
        conclude(*this, cable ? QStringLiteral("Устройство не подключено") : QStringLiteral("Не связи с объектом"));
        break;
    default: break;  // a cancel or the window closing: nothing more is sent
    }
}
