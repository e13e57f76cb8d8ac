// Call control: preparing the modem, the one-second poll, the reception it starts, dialling
// the unit for a picture, cancel and exit.
//
// Everything runs on the window thread, and every wait pumps the window's messages, so these
// handlers run inside one another. Two flags keep them apart: busy (an exchange owns the port:
// Инициализ., Снимок or a reception) and tmrstop (the poll must not read). Both are released
// by scope guards (Exchange), however a handler ends.
#include "app/tform1.h"
#include "platform/trace.h"
#include "ui_tform1.h"

#include <QApplication>
#include <QScopeGuard>

#include <algorithm>
#include <utility>

void TForm1::Button3Click() {
    // Another exchange waits on the port: purging and writing now would spoil it.
    if (busy || tmrstop) return;
    prepare(true);
}

bool TForm1::prepare(bool byOperator) {
    const Exchange exchange(*this);
    bool reached = false;  // the commands went to the modem
    const auto release = qScopeGuard([&] {
        ui->Pbar1->hide();
        if (reached) prepareDue = false;
    });
    const auto failed = [this] {
        // A station that listens keeps trying; the operator's own first press does not.
        if (listening) scheduleRetry();
        setPanel(1, QStringLiteral("Не подключен"));
        return false;
    };

    if (!openport(byOperator)) {
        if (byOperator) return failed();
        // The station's own attempt: the port is away (a USB modem unplugged); the poll tries
        // it again, and the panel says why nothing is heard meanwhile.
        setPanel(1, QStringLiteral("Нет модема"));
        return false;
    }
    reopenTried = false;
    reached = true;
    ui->Pbar1->show();
    otmena = 0;  // a cancel pressed while nothing waited is not for this exchange
    // Any recognised reply will do, even ERROR: the modem is there.
    if (vvod("AT+CRC=1\r", 10) == VV_FAIL) return failed();
    if (vvod("AT+CLIP=1\r", 10) == VV_FAIL) return failed();
    retries = 0;
    retryText.clear();
    setPanel(1, QStringLiteral("Подключен ") + portname);
    ui->Pbar1->hide();
    purge();
    if (!Timer1.isActive()) Timer1.start();
    if (byOperator) {
        // What panel 2 holds (the result of "Снимок") stays under a preparation the station
        // makes by itself; the operator's press brings "Ready" back.
        readyshown = 0;
        // Remembered at once, not only at close: a station whose PC loses its power listens
        // again at the next start, on this port.
        listening = 1;
        wrreg();
        sys.store.saveListened(true);
    }
    return true;
}

bool TForm1::keepprepared() {
    if (!listening) return false;
    if (!hcom) {
        // The port vanished, or has not been opened since the start: tried again a few
        // seconds apart, never at every tick.
        const std::uint32_t now = sys.clock.tick();
        if (reopenTried && now - reopenAt < kReopenMs) return true;
        reopenTried = true;
        reopenAt = now;
        portopen = 0;
        prepare(false);
        return true;
    }
    if (prepareDue) {
        // A modem that announced its start is up now: prepared at once, whatever pause ran.
        qCInfo(lcLink, "the modem is prepared again");
        prepare(false);
        return true;
    }
    if (retries == 0 || std::chrono::milliseconds(sys.clock.tick() - retryAt) < retryPause) return false;
    qCInfo(lcLink, "the modem did not answer its preparation: try %d", retries + 1);
    prepare(false);
    return true;
}

void TForm1::scheduleRetry() {
    retryPause = kRetryPauses[std::size_t(std::min<int>(retries, int(kRetryPauses.size()) - 1))];
    ++retries;
    retryAt = sys.clock.tick();
    retryText =
        QStringLiteral("Следующая попытка в ") + sys.clock.now().addMSecs(retryPause.count()).toString("hh:mm:ss");
    qCInfo(lcLink, "the preparation is tried again in %lld s", qint64(retryPause.count() / 1000));
}

void TForm1::stoplistening() {
    if (!listening) return;
    listening = 0;
    prepareDue = false;
    retries = 0;
    retryText.clear();
    Timer1.stop();
    sys.store.saveListened(false);
    qCInfo(lcLink, "the station stops listening");
    setPanel(1, QStringLiteral("Звонки не принимаются"));
}

void TForm1::heard(const LineHead& line) {
    if (!listening || !line.announcesStart()) return;
    if (!prepareDue) qCInfo(lcLink, "the modem announced a start: it has forgotten its preparation");
    prepareDue = true;
}

void TForm1::Timer1Timer() {
    // The poll reads only when a reception could start from its byte, so no byte it takes
    // is lost.
    if (tmrstop || busy || closing) return;
    if (keepprepared()) return;
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
        readyshown = std::exchange(keepstatus, false) ? 1 : 0;
        busy = 0;
    });
    if (!ui->CheckBox1->isChecked()) return;
    ui->Pbar1->show();
    readbuf();
}

void TForm1::Button4Click() { snapshot(telobj); }

QString TForm1::snapshot(const QByteArray& number) { return askpicture(number, QStringLiteral("снимок"), true); }

// Nobody pressed anything: a port that does not open is said in panel 2 and the journal, not
// in a box that would wait for the operator at every check.
QString TForm1::check(const QByteArray& number) { return askpicture(number, QStringLiteral("проверка"), false); }

bool TForm1::portFree() {
    // A dialog open (the settings, the port, a box) waits for the operator, who may be about
    // to use the port himself.
    return !busy && !tmrstop && !closing && !QApplication::activeModalWidget();
}

watch::Modem TForm1::modem() {
    if (!listening) return watch::Modem::NotWanted;
    if (!hcom) return watch::Modem::Gone;
    return retries > 0 ? watch::Modem::Unprepared : watch::Modem::Ready;
}

QString TForm1::askpicture(const QByteArray& number, const QString& what, bool tell) {
    if (busy || tmrstop) {
        // The port is taken: say why nothing is dialled.
        QString why = call && call->direction == journal::Direction::Incoming
                          ? QStringLiteral("Идёт приём звонка, снимок не запрошен")
                          : QStringLiteral("Линия занята, снимок не запрошен");
        setPanel(2, why);
        return why;
    }
    const Exchange exchange(*this);  // the poll stands still from the first dialling attempt on
    // What "Снимок" leaves in panel 2 stays there: the poll's next tick must not put "Ready"
    // over it, even when "Снимок" began before a tick had shown "Ready" after a reception.
    readyshown = 1;
    const auto release = qScopeGuard([this] {
        endcall();
        ui->Pbar1->hide();
        dialed = 0;
    });
    if (!openport(tell)) {
        const QString why = QStringLiteral("Порт не открывается, снимок не запрошен");
        if (!tell) setPanel(2, why);
        return why;
    }
    begincall(journal::Direction::Outgoing, number, what);
    ui->Pbar1->show();
    // A cancel pressed before the first attempt began (while nothing waited) is not for it.
    otmena = 0;
    switch (dialunit(DialFor::Picture, number)) {
    case LinkEnd::Linked:
        dialed = 1;
        wrport("foto1\r");
        readbuf();
        return {};
    case LinkEnd::Stopped: return {};  // the window closes
    case LinkEnd::Cancelled:
        // "Отмена" stops "Снимок", as it stops the settings transfer: nothing more is dialled.
        call->outcome = QStringLiteral("Вызов отменён");
        break;
    case LinkEnd::Failed: call->outcome = QStringLiteral("Не связи с объектом"); break;
    }
    if (!closing) setPanel(2, call->outcome);
    return {};
}

void TForm1::begincall(journal::Direction direction, const QByteArray& number, const QString& what) {
    if (call) return;
    // Until something else is known: the window closed in the middle of it.
    call.emplace();
    call->start = sys.clock.now();
    call->direction = direction;
    call->number = number;
    call->what = what;
    call->outcome = QStringLiteral("прерван");
}

void TForm1::endcall() {
    if (!call) return;
    record(*std::exchange(call, std::nullopt));
}

void TForm1::showLastHeard() {
    const auto& heard = calls.lastHeard();
    ui->Label8->setText(QStringLiteral("Был на связи:\n") + (heard ? journal::timeText(*heard) : QStringLiteral("—")));
}

void TForm1::BtOtmenaClick() { otmena = 1; }

bool TForm1::mayQuit() {
    // "Выход" sits right under "Отмена": a station that listens asks once before it stops
    // answering its units.
    return !listening || sys.ui.ask(kName, QStringLiteral("Станция перестанет принимать звонки. Выйти?"));
}

void TForm1::Button2Click() {
    if (!mayQuit()) return;
    otmena = 1;
    close();  // a close of the program's own, which asks nothing more
}
