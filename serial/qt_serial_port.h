#pragma once
// The serial port over QSerialPort. Port numbers become device names through port_naming;
// the device folder is a parameter so that tests can point "Com 1" at a pseudo-terminal.
#include "serial/serial_port.h"

#include <QSerialPort>
#include <memory>

namespace quorvex {

// A parsed settings text such as "38400,n,8,1".
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Strict: four comma-separated fields, a positive baud rate, parity n/e/o/m/s (either case),
// 5 to 8 data bits, 1, 1.5 or 2 stop bits. Anything else is failure 8015.
LineSettings ParseLineSettings(const QString& text);

// The serial number a USB adapter reports for `device` (a device file or a link to one, or a
// port name such as "COM3"); empty when the port has none (a built-in port, a
// pseudo-terminal) or is not known to the system.
QString AdapterSerialNumber(const QString& device);

class QtSerialPort : public SerialPort {
  public:
    explicit QtSerialPort(QString deviceFolder = DefaultFolder());
    ~QtSerialPort() override;

    void setCommPort(int number) override;
    void setCommDevice(int number, const QString& device) override;
    int commPort() const override { return commPort_; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return settingsText_; }

    void open() override;
    void close() override;
    bool isOpen() const override { return port_ && port_->isOpen(); }

    void output(const QByteArray& bytes) override;
    void drain() override;
    QByteArray input() override;
    int inBufferCount() override;
    bool waitForReadyRead(int ms) override;

    QString deviceName(int number) const override;

    static QString DefaultFolder();

  private:
    // Moves bytes that reach the device within `ms` into QSerialPort's buffer; no event loop
    // needs to run for it.
    void pullArrivedBytes(int ms);
    bool applySettings();

    // Made by open() and gone with close(), so that it belongs to the thread that opened the
    // port (a flash opens it on a thread of its own, the port scan on the window's).
    std::unique_ptr<QSerialPort> port_;
    QString folder_;
    int commPort_ = 1;
    QString pinnedDevice_;
    QString settingsText_ = QStringLiteral("9600,n,8,1");
    LineSettings line_;
    // Bytes written since the last drain, which bound how long the drain may take.
    qint64 writtenSinceDrain_ = 0;
    // A start bit, eight data bits and a stop bit, near enough for every setting the line takes.
    static constexpr int BitsPerByte = 10;
};

} // namespace quorvex
