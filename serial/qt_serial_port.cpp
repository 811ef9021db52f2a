#include "serial/qt_serial_port.h"
#include "base/failure.h"
#include "serial/port_naming.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>
#else
#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace quorvex {

namespace {

QSerialPort::Parity ParityOf(const QString& letter) {
    const QString l = letter.toLower();
    if (l == QLatin1String("n"))
        return QSerialPort::NoParity;
    if (l == QLatin1String("e"))
        return QSerialPort::EvenParity;
    if (l == QLatin1String("o"))
        return QSerialPort::OddParity;
    if (l == QLatin1String("m"))
        return QSerialPort::MarkParity;
    if (l == QLatin1String("s"))
        return QSerialPort::SpaceParity;
    Raise(FailureNo::CannotSetPortSettings,
          QStringLiteral("Unable to set comm state: parity '%1'").arg(letter));
}

// A read or write that fails on an open port means its device went away (an adapter pulled
// out: Qt calls it a resource error, a hung-up line a read or unknown error). It is told apart
// from other port failures so that a transfer stops at once instead of asking a missing unit
// byte after byte.
[[noreturn]] void RaisePortError(QSerialPort::SerialPortError error, const QString& detail) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        Raise(FailureNo::DeviceUnavailable, QStringLiteral("Device unavailable: %1").arg(detail));
    default:
        break;
    }
    Raise(FailureNo::DeviceIOError, QStringLiteral("Device I/O error: %1").arg(detail));
}

// Bytes the driver still holds for the line; none known where the platform cannot say, so that
// the caller then goes on at once and is no worse off than without asking.
std::optional<qint64> QueuedForLine(QSerialPort& port) {
#ifdef _WIN32
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(port.handle(), &errors, &stat))
        return std::nullopt;
    return qint64(stat.cbOutQue);
#else
    int queued = 0;
    int r;
    do
        r = ::ioctl(port.handle(), TIOCOUTQ, &queued);
    while (r != 0 && errno == EINTR);
    if (r != 0)
        return std::nullopt;
    return qint64(queued);
#endif
}

// The link's pauses and its quiet gap are a few milliseconds long, and its thread sleeps
// through them; Windows wakes a sleeping thread only every 15.6 ms unless asked for finer
// timers, which it is while a port is open.
void FineTimers(bool on) {
#ifdef _WIN32
    if (on)
        timeBeginPeriod(1);
    else
        timeEndPeriod(1);
#else
    Q_UNUSED(on);
#endif
}

[[noreturn]] void BadSettings(const QString& text) {
    Raise(FailureNo::CannotSetPortSettings,
          QStringLiteral("Unable to set comm state: settings '%1'").arg(text));
}

} // namespace

QString AdapterSerialNumber(const QString& device) {
    const auto where = [](const QString& path) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? path : canonical;
    };
    const QString wanted = where(device);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (where(info.systemLocation()) == wanted ||
            info.portName().compare(device, Qt::CaseInsensitive) == 0)
            return info.serialNumber();
    return {};
}

LineSettings ParseLineSettings(const QString& text) {
    const QStringList f = text.split(QLatin1Char(','));
    if (f.size() != 4)
        BadSettings(text);
    LineSettings s;
    bool ok = false;
    s.baud = f[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        BadSettings(text);
    s.parity = ParityOf(f[1].trimmed());
    const int data = f[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8)
        BadSettings(text);
    s.dataBits = QSerialPort::DataBits(data);
    const QString stop = f[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        BadSettings(text);
    return s;
}

QtSerialPort::QtSerialPort(QString deviceFolder) : folder_(std::move(deviceFolder)) {}

QtSerialPort::~QtSerialPort() {
    close();
}

QString QtSerialPort::DefaultFolder() {
    return DefaultDeviceFolder();
}

QString QtSerialPort::deviceName(int number) const {
    return PortDeviceName(number, folder_);
}

void QtSerialPort::setCommPort(int number) {
    if (number < 1)
        Raise(FailureNo::InvalidPortNumber);
    commPort_ = number;
    pinnedDevice_.clear();
}

void QtSerialPort::setCommDevice(int number, const QString& device) {
    setCommPort(number);
    pinnedDevice_ = device;
}

void QtSerialPort::setSettings(const QString& settings) {
    const LineSettings parsed = ParseLineSettings(settings);
    const LineSettings previous = line_;
    line_ = parsed;
    // An open port takes new settings at once, so that what settings() says is what the
    // line runs at.
    if (isOpen() && !applySettings()) {
        line_ = previous;
        applySettings();
        Raise(FailureNo::CannotSetPortSettings);
    }
    settingsText_ = settings;
}

bool QtSerialPort::applySettings() {
    return port_->setBaudRate(line_.baud) && port_->setParity(line_.parity) &&
           port_->setDataBits(line_.dataBits) && port_->setStopBits(line_.stopBits) &&
           port_->setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialPort::open() {
    if (isOpen())
        Raise(FailureNo::PortAlreadyOpen);
    // A pinned device is opened as it is named, never looked up again by position: another
    // adapter plugged in since the scan must not take its place.
    const QString device = pinnedDevice_.isEmpty() ? deviceName(commPort_) : pinnedDevice_;
    if (device.isEmpty())
        Raise(FailureNo::InvalidPortNumber);
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(device);
    if (!port_->open(QIODevice::ReadWrite)) {
        const auto error = port_->error();
        const QString detail = port_->errorString();
        port_.reset();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            Raise(FailureNo::InvalidPortNumber,
                  QStringLiteral("Invalid port number: %1 %2").arg(device, detail));
        case QSerialPort::PermissionError:
            // The same error stands for a user without the right to the device and for a
            // device held by another program (or by another port object here); the device's
            // own permissions tell which.
            if (const auto refusal = AccessRefusalOf(device))
                Raise(FailureNo::PermissionDenied,
                      QStringLiteral("Permission denied: %1: user %2 may not read and write it "
                                     "(%3)")
                          .arg(device, refusal->user, refusal->permissions));
            Raise(FailureNo::PermissionDenied,
                  QStringLiteral("Permission denied: %1 %2").arg(device, detail));
        default:
            Raise(FailureNo::DeviceIOError,
                  QStringLiteral("Device I/O error: %1 %2").arg(device, detail));
        }
    }
    if (!applySettings()) {
        port_.reset();
        Raise(FailureNo::CannotSetPortSettings);
    }
    // Whatever waited on the line before we opened it is no answer to anything we sent.
    port_->clear(QSerialPort::AllDirections);
    FineTimers(true);
}

void QtSerialPort::close() {
    if (!port_)
        return;
    port_.reset();
    writtenSinceDrain_ = 0;
    FineTimers(false);
}

void QtSerialPort::output(const QByteArray& bytes) {
    if (!isOpen())
        Raise(FailureNo::DeviceNotOpen);
    // Written and flushed at once: every call is one write on the line, as the bootloader's
    // byte-by-byte pacing expects, and nothing waits for an event loop to leave the buffer.
    const qint64 queued = port_->write(bytes);
    writtenSinceDrain_ += bytes.size();
    const bool flushed = port_->flush();
    if (queued != bytes.size() || (!flushed && port_->error() != QSerialPort::NoError)) {
        const auto error = port_->error();
        const QString detail = port_->errorString();
        port_->clearError();
        RaisePortError(error, detail);
    }
}

void QtSerialPort::drain() {
    if (!isOpen())
        return;
    const qint64 written = std::exchange(writtenSinceDrain_, 0);
    // Whatever Qt still holds goes to the driver first; then the driver's queue to the line.
    while (port_->bytesToWrite() > 0)
        if (!port_->flush())
            break;
    // An adapter that never empties its queue must not hold the unit's thread for ever: past
    // twice the bytes' time on the line and a second more, it is taken for gone.
    using namespace std::chrono;
    const auto lineTime = milliseconds(written * BitsPerByte * 1000 / std::max(1, line_.baud));
    const auto deadline = steady_clock::now() + 2 * lineTime + seconds(1);
    for (;;) {
        const std::optional<qint64> queued = QueuedForLine(*port_);
        if (!queued || *queued <= 0)
            return;
        if (steady_clock::now() >= deadline)
            RaisePortError(QSerialPort::ResourceError, QStringLiteral("the line did not drain"));
        std::this_thread::sleep_for(milliseconds(1));
    }
}

void QtSerialPort::pullArrivedBytes(int ms) {
    // Its "time-out" is no failure: nothing came.
    port_->waitForReadyRead(ms);
    const auto error = port_->error();
    if (error == QSerialPort::NoError)
        return;
    const QString detail = port_->errorString();
    port_->clearError();
    if (error != QSerialPort::TimeoutError)
        RaisePortError(error, detail);
}

QByteArray QtSerialPort::input() {
    if (!isOpen())
        Raise(FailureNo::DeviceNotOpen);
    pullArrivedBytes(0);
    return port_->readAll();
}

int QtSerialPort::inBufferCount() {
    if (!isOpen())
        Raise(FailureNo::DeviceNotOpen);
    pullArrivedBytes(0);
    return int(port_->bytesAvailable());
}

bool QtSerialPort::waitForReadyRead(int ms) {
    if (!isOpen())
        Raise(FailureNo::DeviceNotOpen);
    if (port_->bytesAvailable() == 0)
        pullArrivedBytes(std::max(0, ms));
    return port_->bytesAvailable() > 0;
}

} // namespace quorvex
