// Call control: preparing the modem, the one-second poll, the reception it starts, dialling
// the unit for a picture, cancel and exit.
//
// Everything runs on the window thread, and every wait pumps the window's messages, so these
// handlers run inside one another. Two flags keep them apart: busy (an exchange owns the port:
// Инициализ., Снимок or a reception) and tmrstop (the poll must not read). Both are released
// by scope guards, however a handler ends.
#include "app/tform1.h"
#include "ui_tform1.h"

#include <QScopeGuard>

void TForm1::Button3Click() {
    // Another exchange waits on the port: purging and writing now would spoil it.
    if (busy || tmrstop) return;
    busy = 1;
    tmrstop = 1;
    const auto release = qScopeGuard([this] {
        ui->Pbar1->hide();
        tmrstop = 0;
        busy = 0;
    });
    const auto failed = [this] { setPanel(1, QStringLiteral("Не подключен")); };

    if (!portopen && !setdcb()) return failed();
    portopen = 1;
    ui->Pbar1->show();
    otmena = 0;  // a cancel pressed while nothing waited is not for this exchange
    // Any recognised reply will do, even ERROR: the modem is there.
    if (vvod("AT+CRC=1\r", otvet.data(), 9, 10) == VV_FAIL) return failed();
    if (vvod("AT+CLIP=1\r", otvet.data(), 10, 10) == VV_FAIL) return failed();
    setPanel(1, QStringLiteral("Подключен ") + portname);
    ui->Pbar1->hide();
    purge();
    if (!Timer1.isActive()) Timer1.start();
    readyshown = 0;
}

void TForm1::Timer1Timer() {
    // The poll reads only when a reception could start from its byte, so no byte it takes
    // is lost.
    if (tmrstop || busy || closing) return;
    tmrstop = 1;
    const auto release = qScopeGuard([this] { tmrstop = 0; });
    if (!readyshown) {
        setPanel(2, QStringLiteral("Ready"));
        readyshown = 1;
    }
    if (readport(inbyte) != plat::ReadResult::Byte) return;
    fotobuf[0] = inbyte;
    nfoto = 1;
    // Checking the box runs its handler, which receives. A box left checked would run none.
    if (ui->CheckBox1->isChecked()) CheckBox1Click();
    else ui->CheckBox1->setChecked(true);
}

void TForm1::CheckBox1Click() {
    if (busy) return;
    busy = 1;
    const auto release = qScopeGuard([this] {
        // Unchecking runs this handler again, which stops at busy.
        ui->CheckBox1->setChecked(false);
        ui->Pbar1->hide();
        readyshown = 0;
        busy = 0;
    });
    if (!ui->CheckBox1->isChecked()) return;
    ui->Pbar1->show();
    readbuf();
}

void TForm1::Button4Click() {
    if (busy || tmrstop) return;
    busy = 1;
    tmrstop = 1;  // the poll stands still from the first dialling attempt on
    // What "Снимок" leaves in panel 2 stays there: the poll's next tick must not put "Ready"
    // over it, even when "Снимок" began before a tick had shown "Ready" after a reception.
    readyshown = 1;
    const auto release = qScopeGuard([this] {
        ui->Pbar1->hide();
        tmrstop = 0;
        dialed = 0;
        busy = 0;
    });
    if (!portopen && !setdcb()) return;
    portopen = 1;
    ui->Pbar1->show();
    const QByteArray dial = "ATD" + telobj + "\r";
    // Unlike the settings transfer's dial loop, a cancel ends only the attempt under way: the
    // operator cuts a hanging dial short, and the next attempt may still bring the picture.
    for (int attempt = 0; attempt < 6; ++attempt) {
        // A closing window makes no further attempt; a vanished port can make none.
        if (closing) return;
        if (!hcom) break;
        setPanel(2, QStringLiteral("Набор номера"));
        // A cancel ends only this attempt; the next one follows. One pressed before the attempt
        // began (while nothing waited) is not for it.
        otmena = 0;
        if (vvod(dial.constData(), otvet.data(), int(dial.size()), 600) == VV_CONNECT) {
            dialed = 1;
            wrport("foto1\r", 6);
            readbuf();
            return;
        }
    }
    if (!closing) setPanel(2, QStringLiteral("Не связи с объектом"));
}

void TForm1::BtOtmenaClick() { otmena = 1; }

void TForm1::Button2Click() {
    otmena = 1;
    close();
}
