// The port operations of the main window: opening with the fixed line settings, writing a
// request, and the one-byte read rule every waiting loop uses. Every byte the program sends
// goes out through sendport, which is where the trace shows it.
#include "app/tform1.h"
#include "platform/trace.h"

namespace {

// Why the port did not open, for the operator: what to do about it follows from it.
QString portFailure(const plat::OpenError& e, const QString& port) {
    if (port.isEmpty()) return QStringLiteral("Порт не выбран: выберите его в окне «Выбор порта»");
    switch (e.kind) {
    case plat::OpenError::NoDevice:
        return QStringLiteral("Нет устройства %1: модем не подключен или выбран не тот порт").arg(port);
    case plat::OpenError::NoAccess:
        return QStringLiteral("Нет доступа к порту %1: пользователь не в группе %2 "
                              "(sudo adduser $USER %2, затем войти в систему заново)")
            .arg(port, e.group);
    case plat::OpenError::Busy: return QStringLiteral("Порт %1 занят другой программой").arg(port);
    default: return QStringLiteral("Порт %1 не открыт: %2").arg(port, e.system);
    }
}

}  // namespace

bool TForm1::setdcb(bool tell) {
    hcom = sys.ports.create();
    if (!hcom->open(portname)) {
        // The box says no more than "Порт занят"; panel 1's tool tip and the trace say why.
        portwhy = portFailure(hcom->openError(), portname);
        hcom.reset();
        setPanel(1, panel(1));  // its tool tip now says why
        qCInfo(lcLink, "port %s not opened: %s", qUtf8Printable(portname), qUtf8Printable(portwhy));
        if (!tell) return false;
        qCInfo(lcLink, "shown as \"Порт занят\"");
        sys.ui.message(QStringLiteral("Порт занят"), QStringLiteral("error"));
        return false;
    }
    portwhy.clear();
    if (!hcom->configure()) {
        // Let the device go again, so that the next attempt can open it instead of finding
        // it held by this very program.
        hcom->close();
        hcom.reset();
        qCInfo(lcLink, "port %s opened but not configured: let go", qUtf8Printable(portname));
        return false;
    }
    qCDebug(lcLink, "port %s open, 9600 8N1", qUtf8Printable(portname));
    // A USB modem's kernel name changes when it comes back (ttyUSB0 as ttyUSB1); its stable
    // name does not, so that is the name kept and shown from now on.
    if (const QString stable = sys.ports.stableName(portname); stable != portname) {
        qCInfo(lcLink, "port %s is known from now on by its stable name %s", qUtf8Printable(portname),
               qUtf8Printable(stable));
        portname = stable;
        setPanel(0, portname);
    }
    return true;
}

bool TForm1::openport(bool tell) {
    if ((!portopen || !hcom) && !setdcb(tell)) return false;
    portopen = 1;
    return true;
}

void TForm1::purge() {
    if (hcom) hcom->purge();
}

bool TForm1::sendport(const char* data, int length) {
    qCDebug(lcLink, "write \"%s\"", plat::escapeBytes(QByteArrayView(data, length)).constData());
    if (!hcom) {
        qCInfo(lcLink, "write not sent: the port is not open");
        return false;
    }
    const bool ok = hcom->write(data, length);
    if (!ok) qCInfo(lcLink, "write failed on %s", qUtf8Printable(portname));
    return ok;
}

bool TForm1::wrport(const char* data, int length) {
    purge();
    if (!hcom) return false;
    return sendport(data, length);
}

plat::ReadResult TForm1::readport(unsigned char& b) {
    if (!hcom) return plat::ReadResult::Failed;
    const auto r = hcom->read(b);
    if (r == plat::ReadResult::Failed && hcom->vanished()) {
        // The device is gone (a USB modem unplugged, the far end closed): let it go, so that
        // the next operation opens the port again.
        hcom->close();
        hcom.reset();
        portopen = 0;
    }
    return r;
}

void TForm1::pump() {
    // A pump that takes this long was held by a modal window opened inside the wait (the
    // settings or port dialog, the about box, an error box). Nothing was read meanwhile, and
    // what arrived waits in the port: that time does not count against the wait.
    // Measured on the waits' own counter, so that a wait nested inside this pump, whose held
    // time is already taken out, is not taken out twice.
    constexpr std::uint32_t kHeldMs = 500;
    const std::uint32_t before = waitTick();
    sys.ui.pump();
    const std::uint32_t spent = waitTick() - before;
    if (spent >= kHeldMs) held += spent;
}
