// The settings transfer: the settings dialog, then the cable link or a dialled call, then the
// clock and the settings in lock-step, each item answered by "OK" before the next is sent.
#include "config/transfer.h"
#include "app/tform1.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QScopeGuard>

namespace {

constexpr int kDirectWrite = 35;  // "Прямая зап.": over the cable
constexpr int kRemoteWrite = 34;  // "Удал. запись": over a dialled call
constexpr int kHandshakes = 10;
constexpr int kDials = 6;

unsigned char bcd(const QString& text, int at) {
    return static_cast<unsigned char>(((text[at].unicode() - 0x30) * 16 + (text[at + 1].unicode() - 0x30)) & 0xFF);
}

// A final text of the transfer: in panel 2, and the outcome of the call in the journal.
void conclude(TForm1& f, const QString& text) {
    f.setPanel(2, text);
    if (f.call) f.call->outcome = text;
}

// One item of the exchange: true when the unit answered it with a line beginning "OK".
bool send(TForm1& f, const char* bytes, int length, int tmout) {
    return f.vvod(bytes, f.otvet.data(), length, tmout) == VV_OK;
}
bool send(TForm1& f, const QByteArray& bytes, int tmout) { return send(f, bytes.constData(), int(bytes.size()), tmout); }

// Up to ten "BC\r" handshakes of 6 s; only "OK" links. A cancel ends the loop before the next one.
bool cableLink(TForm1& f) {
    for (int attempt = 0;;) {
        if (f.linkerr == 3 || f.closing) return false;
        if (send(f, QByteArrayLiteral("BC\r"), 60)) return true;
        if (++attempt == kHandshakes) {
            conclude(f, QStringLiteral("Устройство не подключено"));
            return false;
        }
        f.setPanel(2, QStringLiteral("Попытка%1").arg(attempt + 1));
    }
}

// Up to six dial commands of 60 s, one straight after the other; only "CONNECT" links.
// Unlike the dial loop of "Снимок", a cancel ends them all: here it means that the operator
// no longer wants these settings sent.
bool dialLink(TForm1& f) {
    f.setPanel(2, QStringLiteral("Набор номера"));
    const QByteArray dial = "ATD" + f.telobj + "\r";
    for (int attempt = 0;;) {
        if (f.linkerr == 3 || f.closing) return false;
        if (f.vvod(dial.constData(), f.otvet.data(), int(dial.size()), 600) == VV_CONNECT) return true;
        if (f.linkerr == 3) f.abortdial();
        if (++attempt == kDials) {
            conclude(f, QStringLiteral("Не связи с объектом"));
            return false;
        }
        f.setPanel(2, QStringLiteral("Попытка%1").arg(attempt + 1));
    }
}

void sendSettings(TForm1& f, const Ui::TForm2& d) {
    if (!send(f, QByteArrayLiteral("time \r"), 100)) {
        conclude(f, QStringLiteral("Передать не удалось"));
        return;
    }
    // Every later item that is not answered ends the transfer with an empty status.
    auto fail = [&f] { f.setPanel(2, QString()); };
    const auto clock = clockRecord(f.sys.clock.now(), d.ComboBox1->currentIndex());
    if (!send(f, reinterpret_cast<const char*>(clock.data()), int(clock.size()), 400)) return fail();
    for (const QLineEdit* edit : {d.Edit2, d.Edit3, d.Edit4})
        if (!send(f, textItem(plat::toCp1251(edit->text())), 100)) return fail();
    if (!send(f, d.Rbgprs2->isChecked() ? QByteArrayLiteral("2\r") : QByteArrayLiteral("1\r"), 100)) return fail();
    const bool simSettings = d.Cbsim->isChecked();
    if (!send(f, simSettings ? QByteArrayLiteral("1\r") : QByteArrayLiteral("2\r"), 100)) return fail();
    // With the SIM card's settings the unit needs neither the e-mail login nor the report list.
    if (!simSettings) {
        if (!send(f, textItem(plat::toCp1251(d.Edit5->text())), 100)) return fail();
        for (const QByteArray& tel : f.tel) {
            const auto record = phoneRecord(tel);
            if (!send(f, reinterpret_cast<const char*>(record.data()), int(record.size()), 100)) return fail();
        }
        if (!send(f, textItem(f.levs), 100)) return fail();
    }
    conclude(f, QStringLiteral("Установки успешно переданы"));
}

} // namespace

std::array<unsigned char, 10> clockRecord(const QDateTime& now, int resolutionItem) {
    const QString t = now.toString(QStringLiteral("hhmmss_ddMMyy"));
    const unsigned char code = resolutionItem >= 0 && resolutionItem <= 2 ? static_cast<unsigned char>('1' + resolutionItem) : '1';
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
    const int result = form2 ? form2->exec() : 2;
    ui->Label7->setText(plat::fromCp1251(telobj));

    // A reception or "Снимок" is running (this click came in during one of its waits): it owns
    // the port, the progress bar and linkerr. The settings are saved, but not sent now.
    if (busy) {
        if (result == kDirectWrite || result == kRemoteWrite) setPanel(2, QStringLiteral("Линия занята, не передано"));
        return;
    }
    const auto hideProgress = qScopeGuard([this] { ui->Pbar1->hide(); });
    linkerr = 0;
    if ((result != kDirectWrite && result != kRemoteWrite) || closing) return;

    // The poll, "Снимок", a reception and a second transfer stay off the port meanwhile.
    busy = 1;
    const int pollWasStopped = tmrstop;
    tmrstop = 1;
    const auto release = qScopeGuard([this, pollWasStopped] {
        busy = 0;
        tmrstop = pollWasStopped;
    });
    otmena = 0;  // a cancel pressed before the transfer began is not for it

    if (!portopen || !hcom) {
        if (!setdcb()) return;  // it has shown its message
    }
    portopen = 1;
    const bool cable = result == kDirectWrite;
    begincall(cable ? journal::Direction::Cable : journal::Direction::Outgoing, cable ? QByteArray() : telobj,
              QStringLiteral("установки"));
    // Without a final text (a cancel, an item answered otherwise than "OK") the journal says
    // that nothing was sent, and why when a wait failed.
    call->outcome.clear();
    const auto entered = qScopeGuard([this] {
        if (call && call->outcome.isEmpty())
            call->outcome = QStringLiteral("не передано") + (linkerr ? QStringLiteral(", err %1").arg(linkerr) : QString());
        endcall();
    });
    ui->Pbar1->show();
    if (cable ? cableLink(*this) : dialLink(*this)) sendSettings(*this, *form2->ui);
}
