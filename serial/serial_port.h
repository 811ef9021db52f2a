#pragma once
// The serial port as the core uses it: numbered, configured by a settings text, opened,
// written byte by byte and read whole. An open port belongs to the thread that opened it until
// it is closed. A Qt implementation serves the program; tests use it
// over pseudo-terminals.
#include <QByteArray>
#include <QString>

namespace quorvex {

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Selects the port the next open() uses; callers set it only while the port is closed.
    // The device behind the number is looked up when the port is opened.
    virtual void setCommPort(int number) = 0;
    // As setCommPort(), but pinned to `device`, the name deviceName() gave for the number when
    // the ports were scanned: open() opens exactly that device, and fails as a missing port
    // (8002) when it has gone, whatever else now goes by the number. Empty: no pin.
    virtual void setCommDevice(int number, const QString& device) = 0;
    virtual int commPort() const = 0;
    // "38400,n,8,1": baud, parity (n/e/o/m/s), data bits, stop bits. A malformed text is
    // failure 8015 and leaves the settings as they were.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    // Opening an open port is failure 8005; a missing or busy port is a numbered failure and
    // the port then reads as not open.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Queues the bytes in order, unaltered.
    virtual void output(const QByteArray& bytes) = 0;
    // Returns once every byte written has gone out on the line, as far as the platform can tell.
    // It paces; it decides nothing about what arrives (a pseudo-terminal drains at once, a UART
    // driver may say so a tick late). A queue that does not empty within twice the bytes' line
    // time and a second more is a device gone (failure 68). Nothing when the port is closed.
    virtual void drain() = 0;
    // Removes and returns every byte waiting; empty when there is none.
    virtual QByteArray input() = 0;
    // Number of bytes waiting.
    virtual int inBufferCount() = 0;
    // Sleeps until bytes are waiting or `ms` milliseconds have passed (0: only looks); true
    // when bytes wait for input(). The caller's thread runs nothing else meanwhile.
    virtual bool waitForReadyRead(int ms) = 0;

    // The platform's name for port `number` ("COM3", "/dev/ttyUSB0"), empty when there is none.
    virtual QString deviceName(int number) const = 0;
};

} // namespace quorvex
