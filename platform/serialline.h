#pragma once
// The serial line as the program sees it: one exclusive device, fixed line settings,
// single-byte reads that wait at most about 20 ms.
#include <QString>
#include <QStringList>
#include <memory>

namespace plat {

enum class ReadResult { Byte, None, Failed };

// Why a port could not be opened, as the system told it.
struct OpenError {
    enum Kind { None, NoDevice, NoAccess, Busy, Other };
    Kind kind = None;
    QString group;   // NoAccess: the group that owns the device (dialout, as a rule)
    QString system;  // the system's own text
};

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Opens the device exclusively; false when it is absent or held by anyone, this process included.
    virtual bool open(const QString& name) = 0;
    // Why the last open failed; kind None after one that worked.
    virtual OpenError openError() const { return {}; }
    // 9600 8N1, no flow control, DTR and RTS off. A pseudo-terminal's refusal of the
    // modem-line ioctls is not a failure.
    virtual bool configure() = 0;
    // Discards unread input and unsent output, ours and the system's.
    virtual void purge() = 0;
    // Returns once all bytes are handed on; no time-out.
    virtual bool write(const char* data, qint64 length) = 0;
    // Hands on a byte that is waiting at once. Otherwise waits up to about 10 ms for one; a
    // read woken by bytes trickling in naps 8 ms more first, so about 20 ms at the most.
    virtual ReadResult read(unsigned char& byte) = 0;
    // True once the device has gone away (unplugged, far end of a pty closed).
    virtual bool vanished() const { return false; }
    virtual void close() = 0;
};

// Creates lines and probes devices; the port dialog and the main window use it.
class PortSystem {
public:
    virtual ~PortSystem() = default;
    virtual std::unique_ptr<SerialLine> create() = 0;
    // Opens the device read-only and exclusively and closes it again; true when that worked.
    virtual bool probe(const QString& name) = 0;
    // Further serial devices the system reports (USB and ACM modems), beyond COM1..COM14,
    // each under its stable name where it has one.
    virtual QStringList extraPorts() = 0;
    // The stable name of the device a port name opens (its link under /dev/serial/by-id), or
    // the name itself where it has none. "COM1".."COM14" are kept as they are.
    virtual QString stableName(const QString& name) = 0;
};

// The fixed port names offered besides the devices the system reports: "COM1" to "COM14".
inline constexpr int kComPorts = 14;

// "COM1".."COM14" name /dev/ttyS0../dev/ttyS13; any other name is a device path as it stands.
QString devicePath(const QString& portName);

// The names to offer for these devices: each device under the first link in linkDir that
// resolves to it, the device path itself where none does. A USB modem's kernel name
// (/dev/ttyUSB0) changes with the order the devices are found in; its link under
// /dev/serial/by-id, made from the maker, the model and the serial number, does not.
QStringList stableNames(const QStringList& devices, const QString& linkDir);

}  // namespace plat
