#pragma once
#include "platform/serialline.h"
#include <QSerialPort>

namespace plat {

// The real serial line on Qt Serial Port. The device is opened by its resolved path, so a
// symbolic link and its target share one lock: a port held under one name is refused under
// the other.
class QtSerialLine final : public SerialLine {
public:
    bool open(const QString& name) override;
    OpenError openError() const override { return openError_; }
    bool openReadOnly(const QString& name);
    bool configure() override;
    void purge() override;
    bool write(const char* data, qint64 length) override;
    ReadResult read(unsigned char& byte) override;
    bool vanished() const override { return gone_; }
    void close() override;

private:
    bool openMode(const QString& name, QIODevice::OpenMode mode);
    bool hungUp();
    // Traces the port's pending error with the system's text (ravlo.link), `during` saying
    // in what.
    void traceError(const char* during);
    // The error a read left, cleared and traced (a read error repeated poll after poll only
    // once); a time-out counts as none.
    QSerialPort::SerialPortError takeReadError();
    QSerialPort port_;
    QString name_;  // the device path, for the trace
    OpenError openError_;
    QSerialPort::SerialPortError lastReadError_ = QSerialPort::NoError;
    bool gone_ = false;
};

class QtPortSystem final : public PortSystem {
public:
    // linkDir: where the system keeps the stable names of USB serial devices.
    explicit QtPortSystem(QString linkDir = QStringLiteral("/dev/serial/by-id")) : linkDir_(std::move(linkDir)) {}
    std::unique_ptr<SerialLine> create() override;
    bool probe(const QString& name) override;
    QStringList extraPorts() override;
    QString stableName(const QString& name) override;

private:
    QString linkDir_;
};

}  // namespace plat
