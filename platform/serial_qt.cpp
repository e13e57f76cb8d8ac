#include "platform/serial_qt.h"
#include "platform/trace.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace plat {

QString devicePath(const QString& portName) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"));
    const auto m = com.match(portName);
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1 && n <= kComPorts) return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    return portName;
}

namespace {

// Qt reports a device the user may not open and one that another program holds alike (a
// permission error); the device's own permissions tell them apart.
OpenError permissionError(const QString& device, const QString& system) {
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        OpenError e{OpenError::NoAccess, QStringLiteral("dialout"), system};
        struct stat st {};
        if (::stat(path.constData(), &st) == 0)
            if (const group* g = ::getgrgid(st.st_gid); g && g->gr_name && *g->gr_name && st.st_gid != 0)
                e.group = QString::fromLocal8Bit(g->gr_name);
        return e;
    }
#endif
    return {OpenError::Busy, {}, system};
}

}  // namespace

bool QtSerialLine::openMode(const QString& name, QIODevice::OpenMode mode) {
    close();
    openError_ = {OpenError::NoDevice, {}, QStringLiteral("no port name")};
    if (name.isEmpty()) return false;
    const char* what = mode == QIODevice::ReadOnly ? "probe" : "open";
    const QString resolved = QFileInfo(devicePath(name)).canonicalFilePath();
    if (resolved.isEmpty()) {  // no such device
        openError_.system = QStringLiteral("no such device");
        qCInfo(lcLink, "%s %s (%s) failed: no such device", what, qUtf8Printable(name),
               qUtf8Printable(devicePath(name)));
        return false;
    }
    port_.setPortName(resolved);
    name_ = resolved;
    if (!port_.open(mode)) {
        const QString system = port_.errorString();
        switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError: openError_ = {OpenError::NoDevice, {}, system}; break;
        case QSerialPort::PermissionError: openError_ = permissionError(resolved, system); break;
        default: openError_ = {OpenError::Other, {}, system}; break;
        }
        qCInfo(lcLink, "%s %s (%s) failed: %s (QSerialPort error %d)", what, qUtf8Printable(name),
               qUtf8Printable(resolved), qUtf8Printable(system), int(port_.error()));
        return false;
    }
    openError_ = {};
    gone_ = false;
    lastReadError_ = QSerialPort::NoError;
    return true;
}

void QtSerialLine::traceError(const char* during) {
    qCInfo(lcLink, "%s: %s: %s (QSerialPort error %d)", qUtf8Printable(name_), during,
           qUtf8Printable(port_.errorString()), int(port_.error()));
}

QSerialPort::SerialPortError QtSerialLine::takeReadError() {
    auto err = port_.error();
    // A time-out is no error: nothing came within the wait.
    if (err == QSerialPort::TimeoutError) err = QSerialPort::NoError;
    if (err != QSerialPort::NoError && err != lastReadError_) traceError("read");
    if (err != QSerialPort::NoError) lastReadError_ = err;
    port_.clearError();
    return err;
}

bool QtSerialLine::hungUp() {
#ifdef Q_OS_UNIX
    // A read error alone may pass; a hang-up on the descriptor means the device is gone
    // (a USB modem unplugged, the far end of a pseudo-terminal closed).
    pollfd p{int(port_.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false;
#endif
}

bool QtSerialLine::open(const QString& name) { return openMode(name, QIODevice::ReadWrite); }
bool QtSerialLine::openReadOnly(const QString& name) { return openMode(name, QIODevice::ReadOnly); }

bool QtSerialLine::configure() {
    if (!port_.isOpen()) return false;
    const bool ok = port_.setBaudRate(9600) && port_.setDataBits(QSerialPort::Data8) &&
                    port_.setParity(QSerialPort::NoParity) && port_.setStopBits(QSerialPort::OneStop) &&
                    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) traceError("9600 8N1 not set");
    port_.clearError();
    // A pseudo-terminal has no modem lines and refuses these; that is not a failure.
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    if (port_.error() != QSerialPort::NoError) traceError("DTR/RTS not set (not a failure)");
    port_.clearError();
    return ok;
}

void QtSerialLine::purge() {
    if (port_.isOpen() && !port_.clear(QSerialPort::AllDirections)) traceError("purge");
}

bool QtSerialLine::write(const char* data, qint64 length) {
    if (!port_.isOpen() || gone_) return false;
    qint64 done = 0;
    while (done < length) {
        const qint64 n = port_.write(data + done, length - done);
        if (n < 0) {
            traceError("write");
            break;
        }
        done += n;
    }
    while (port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(-1)) {
            traceError("write");
            break;
        }
    }
    if (port_.error() == QSerialPort::ResourceError) gone_ = true;
    return done == length && port_.bytesToWrite() == 0;
}

ReadResult QtSerialLine::read(unsigned char& byte) {
    if (!port_.isOpen() || gone_) {
        QThread::msleep(10);  // a vanished port must not spin a core
        return ReadResult::Failed;
    }
    if (port_.bytesAvailable() == 0) {
        if (!port_.waitForReadyRead(10)) {
            const auto err = takeReadError();
            if (err == QSerialPort::NoError) return ReadResult::None;
            if (err == QSerialPort::ResourceError || hungUp()) gone_ = true;
            if (gone_) qCInfo(lcLink, "%s: the device is gone", qUtf8Printable(name_));
            QThread::msleep(10);
            return ReadResult::Failed;
        }
        if (port_.bytesAvailable() < 8) {
            // Woken by bytes trickling in at line speed, one a millisecond: a short nap lets the
            // next few arrive, so that one wake-up serves several bytes instead of one each, as
            // a UART's receive FIFO does. The byte is still handed on within a few ms.
            QThread::msleep(8);
            if (!port_.waitForReadyRead(0)) takeReadError();
        }
    }
    char c = 0;
    if (port_.read(&c, 1) == 1) {
        lastReadError_ = QSerialPort::NoError;
        byte = static_cast<unsigned char>(c);
        return ReadResult::Byte;
    }
    return ReadResult::None;
}

void QtSerialLine::close() {
    if (port_.isOpen()) port_.close();
    gone_ = false;
}

std::unique_ptr<SerialLine> QtPortSystem::create() { return std::make_unique<QtSerialLine>(); }

bool QtPortSystem::probe(const QString& name) {
    QtSerialLine line;
    const bool ok = line.openReadOnly(name);
    line.close();
    return ok;
}

QStringList stableNames(const QStringList& devices, const QString& linkDir) {
    QHash<QString, QString> linkOf;  // canonical device path -> its first link
    QDir dir(linkDir);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !linkOf.contains(target)) linkOf.insert(target, link.absoluteFilePath());
    }
    QStringList out;
    for (const QString& device : devices) {
        const QString canonical = QFileInfo(device).canonicalFilePath();
        out << linkOf.value(canonical.isEmpty() ? device : canonical, device);
    }
    out.sort();
    return out;
}

QStringList QtPortSystem::extraPorts() {
    QStringList devices;
    for (const auto& info : QSerialPortInfo::availablePorts()) {
        const QString n = info.portName();
        if (n.startsWith(QLatin1String("ttyUSB")) || n.startsWith(QLatin1String("ttyACM")))
            devices << info.systemLocation();
    }
    return stableNames(devices, linkDir_);
}

QString QtPortSystem::stableName(const QString& name) {
    if (name.isEmpty() || devicePath(name) != name) return name;
    if (QFileInfo(name).absolutePath() == QDir(linkDir_).absolutePath()) return name;  // stable already
    const QStringList named = stableNames({name}, linkDir_);
    return named.value(0, name);
}

}  // namespace plat
