#include "picsim/unit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quorvex::picsim {

namespace {

// gpsim starts in well under a second; a loaded machine may take longer.
constexpr int StartMs = 30000;
constexpr int StopMs = 20000;

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

QString ProgramPath() {
    return QStringLiteral(QUORVEX_PICSIM_PROGRAM);
}
QString BootloaderHexPath() {
    return QStringLiteral(QUORVEX_PICSIM_IMAGES "/bootloader.hex");
}
QString DemoHexPath() {
    return QStringLiteral(QUORVEX_PICSIM_IMAGES "/demo.hex");
}

QByteArray ReadHexBytes(const QString& path, int size, char fill) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray out(size, fill);
    int upper = 0;
    for (QByteArray line : f.readAll().split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.at(0) != ':' || line.size() % 2 == 0)
            return {};
        QByteArray bytes;
        for (qsizetype i = 1; i + 1 < line.size(); i += 2) {
            const int h = HexDigit(line.at(i));
            const int l = HexDigit(line.at(i + 1));
            if (h < 0 || l < 0)
                return {};
            bytes.append(char(h * 16 + l));
        }
        std::uint8_t sum = 0;
        for (char b : bytes)
            sum = std::uint8_t(sum + std::uint8_t(b));
        const int count = bytes.size() >= 5 ? std::uint8_t(bytes.at(0)) : -1;
        if (sum != 0 || count + 5 != bytes.size())
            return {};
        const int address = std::uint8_t(bytes.at(1)) * 256 + std::uint8_t(bytes.at(2));
        const int type = std::uint8_t(bytes.at(3));
        if (type == 1)
            return out;
        if (type == 4 && count == 2)
            upper = (std::uint8_t(bytes.at(4)) * 256 + std::uint8_t(bytes.at(5))) << 16;
        if (type != 0)
            continue;
        for (int i = 0; i < count; ++i) {
            const int at = upper + address + i;
            if (at < size)
                out[at] = bytes.at(4 + i);
        }
    }
    return {}; // no end record
}

Unit::Unit(QString link, bool freeRunning) : link_(std::move(link)), freeRunning_(freeRunning) {}

Unit::~Unit() {
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(StopMs)) {
        process_.kill();
        process_.waitForFinished(StopMs);
    }
}

bool Unit::start(QString* error) {
    QStringList args{QStringLiteral("--link"), link_, QStringLiteral("--dumps"),
                     dumpFolder_.path()};
    if (freeRunning_)
        args << QStringLiteral("--free-running");
    process_.start(ProgramPath(), args);
    const QDeadlineTimer deadline(StartMs);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n') &&
           process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        out += process_.readAllStandardOutput();
    }
    if (out.startsWith("ready "))
        return true;
    if (error)
        *error = QStringLiteral("picsim did not start: %1 %2")
                     .arg(QString::fromLocal8Bit(out),
                          QString::fromLocal8Bit(process_.readAllStandardError()));
    return false;
}

void Unit::pressReset() {
    if (process_.state() == QProcess::Running)
        ::kill(pid_t(process_.processId()), SIGUSR1);
}

bool Unit::stop(Dumps* dumps, QString* error) {
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(StopMs)) {
        process_.kill();
        process_.waitForFinished(StopMs);
        if (error)
            *error = QStringLiteral("picsim did not stop");
        return false;
    }
    const bool clean = process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    if (!clean && error)
        *error = QString::fromLocal8Bit(process_.readAllStandardError());
    if (dumps) {
        dumps->program = ReadHexBytes(dumpFolder_.filePath(QStringLiteral("program.hex")),
                                      2 * ProgramWords, char(0xFF));
        dumps->eeprom = ReadHexBytes(dumpFolder_.filePath(QStringLiteral("eeprom.hex")), 256, 0);
    }
    return clean;
}

QByteArray ReadLink(const QString& link, const QByteArray& expected, int ms) {
    QByteArray got;
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return got;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    const QDeadlineTimer deadline(ms);
    while (!got.contains(expected) && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    ::close(fd);
    return got;
}

} // namespace quorvex::picsim
