// The serial layer over pseudo-terminals: bytes both ways, opening rules, numbering, settings.
#include "base/failure.h"
#include "bootsim/pty.h"
#include "serial/port_naming.h"
#include "serial/qt_serial_port.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace quorvex;

namespace {

int FailureNumberOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const FailureError& e) {
        return e.failure().number;
    }
    return 0;
}

// A pseudo-terminal that "Com 1" of `port` names.
struct PtyPort {
    bootsim::PtyPair pty;
    QTemporaryDir folder;
    QtSerialPort port{folder.path()};

    bool setUp() {
        if (!pty.open() || !folder.isValid())
            return false;
        port.setCommPort(1);
        return QFile::link(pty.slavePath(),
                           folder.filePath(QStringLiteral("ttyUSB%1").arg(pty.slaveNumber())));
    }
};

QByteArray AllByteValues() {
    QByteArray all;
    for (int v = 0; v < 256; ++v)
        all.append(char(v));
    return all;
}

// Reads from the port until `count` bytes came, for at most two seconds.
QByteArray ReadFromPort(SerialPort& port, int count) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < 2000) {
        got += port.input();
        if (got.size() < count)
            QThread::msleep(2);
    }
    return got;
}

} // namespace

TEST(QtSerialPort, EveryByteValuePassesUnalteredBothWays) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.open();
    const QByteArray all = AllByteValues();

    for (int i = 0; i < all.size(); ++i)
        p.port.output(all.mid(i, 1));
    EXPECT_EQ(p.pty.read(256, 2000), all);

    ASSERT_TRUE(p.pty.write(all));
    EXPECT_EQ(ReadFromPort(p.port, 256), all);
}

TEST(QtSerialPort, CountsArrivedBytesWithoutAnEventLoopAndInputTakesThemAll) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.open();
    EXPECT_EQ(p.port.inBufferCount(), 0);
    EXPECT_TRUE(p.port.input().isEmpty());
    ASSERT_TRUE(p.pty.write(QByteArray("K\0N", 3)));
    QElapsedTimer t;
    t.start();
    while (p.port.inBufferCount() < 3 && t.elapsed() < 2000)
        QThread::msleep(1);
    EXPECT_EQ(p.port.inBufferCount(), 3);
    EXPECT_EQ(p.port.input(), QByteArray("K\0N", 3));
    EXPECT_EQ(p.port.inBufferCount(), 0);
}

TEST(QtSerialPort, OpeningAnOpenPortIsFailure8005AndTheFirstOpenStands) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.open();
    EXPECT_EQ(FailureNumberOf([&] { p.port.open(); }), FailureNo::PortAlreadyOpen);
    EXPECT_TRUE(p.port.isOpen());
    p.port.output("x");
    EXPECT_EQ(p.pty.read(1, 2000), QByteArray("x"));
}

TEST(QtSerialPort, APortHeldByAnotherOwnerFailsWithANumberAndReadsAsNotOpen) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.open();
    QtSerialPort second(p.folder.path());
    second.setCommPort(1);
    EXPECT_EQ(FailureNumberOf([&] { second.open(); }), FailureNo::PermissionDenied);
    EXPECT_FALSE(second.isOpen());
    // Once the owner lets go, the port is free again.
    p.port.close();
    second.open();
    EXPECT_TRUE(second.isOpen());
}

TEST(QtSerialPort, AMissingPortFailsWithANumberAndReadsAsNotOpen) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.setCommPort(2); // only one node in the folder
    EXPECT_EQ(FailureNumberOf([&] { p.port.open(); }), FailureNo::InvalidPortNumber);
    EXPECT_FALSE(p.port.isOpen());

    // A node whose device has gone (an adapter pulled out) fails the same way.
    ASSERT_TRUE(QFile::link(p.folder.filePath("gone"), p.folder.filePath("ttyACM0")));
    EXPECT_EQ(FailureNumberOf([&] { p.port.open(); }), FailureNo::InvalidPortNumber);
    EXPECT_FALSE(p.port.isOpen());
}

TEST(QtSerialPort, ReadingOrWritingAClosedPortIsFailure8012) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    EXPECT_EQ(FailureNumberOf([&] { p.port.input(); }), FailureNo::DeviceNotOpen);
    EXPECT_EQ(FailureNumberOf([&] { p.port.inBufferCount(); }), FailureNo::DeviceNotOpen);
    EXPECT_EQ(FailureNumberOf([&] { p.port.output("x"); }), FailureNo::DeviceNotOpen);
}

TEST(QtSerialPort, SettingsTextsAreParsedWhole) {
    struct Row {
        const char* text;
        qint32 baud;
        QSerialPort::Parity parity;
        QSerialPort::DataBits data;
        QSerialPort::StopBits stop;
    };
    const Row rows[] = {
        {"38400,n,8,1", 38400, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"9600,N,8,1", 9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"4800,e,7,2", 4800, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop},
        {"1200,o,5,1.5", 1200, QSerialPort::OddParity, QSerialPort::Data5,
         QSerialPort::OneAndHalfStop},
        {"19200,m,6,1", 19200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop},
        {"115200,s,8,2", 115200, QSerialPort::SpaceParity, QSerialPort::Data8,
         QSerialPort::TwoStop},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const LineSettings s = ParseLineSettings(QString::fromLatin1(r.text));
        EXPECT_EQ(s.baud, r.baud);
        EXPECT_EQ(s.parity, r.parity);
        EXPECT_EQ(s.dataBits, r.data);
        EXPECT_EQ(s.stopBits, r.stop);
    }
}

TEST(QtSerialPort, AMalformedSettingsTextIsFailure8015AndKeepsTheSettings) {
    QtSerialPort port(QDir::tempPath());
    port.setSettings("38400,n,8,1");
    for (const char* bad :
         {"", "38400", "38400,n,8", "38400,n,8,1,0", "fast,n,8,1", "0,n,8,1", "-9600,n,8,1",
          "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,,8,1", "9600,n,8,1.25"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(FailureNumberOf([&] { port.setSettings(QString::fromLatin1(bad)); }),
                  FailureNo::CannotSetPortSettings);
        EXPECT_EQ(port.settings(), QStringLiteral("38400,n,8,1"));
    }
}

TEST(QtSerialPort, SettingsTakeEffectOnAnOpenPort) {
    PtyPort p;
    ASSERT_TRUE(p.setUp());
    p.port.open();
    // A pseudo-terminal keeps 8 data bits without parity whatever it is told; baud rate and
    // stop bits it takes.
    p.port.setSettings("4800,n,8,2");
    EXPECT_EQ(p.port.settings(), QStringLiteral("4800,n,8,2"));
    p.port.output("ok");
    EXPECT_EQ(p.pty.read(2, 2000), QByteArray("ok"));
}

#ifndef Q_OS_WIN
TEST(PortNaming, NumbersUsbThenAcmThenBuiltInPortsEachInNumericOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList nodes = {"ttyS10",  "ttyS2",   "ttyS0",   "ttyACM1",
                               "ttyUSB3", "ttyUSB0", "ttyUSB12"};
    const QStringList noise = {"ttyUSB", "ttyS", "ttyUSBx", "ttyAMA0", "tty0", "console", "xttyS1"};
    for (const QString& n : nodes + noise)
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.filePath(n)));
    const QStringList expected = {"ttyUSB0", "ttyUSB3", "ttyUSB12", "ttyACM1",
                                  "ttyS0",   "ttyS2",   "ttyS10"};
    for (int n = 1; n <= expected.size(); ++n)
        EXPECT_EQ(PortDeviceName(n, dir.path()), dir.filePath(expected.at(n - 1))) << "Com " << n;
    EXPECT_TRUE(PortDeviceName(int(expected.size()) + 1, dir.path()).isEmpty());
    EXPECT_TRUE(PortDeviceName(0, dir.path()).isEmpty());

    // The folder is read as it stands when asked: an adapter plugged in moves the others up.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.filePath("ttyUSB1")));
    EXPECT_EQ(PortDeviceName(2, dir.path()), dir.filePath("ttyUSB1"));
    QtSerialPort port(dir.path());
    EXPECT_EQ(port.deviceName(3), dir.filePath("ttyUSB3"));
}

TEST(PortNaming, AnEmptyOrMissingFolderHasNoPorts) {
    QTemporaryDir dir;
    EXPECT_TRUE(PortDeviceName(1, dir.path()).isEmpty());
    EXPECT_TRUE(PortDeviceName(1, dir.filePath("absent")).isEmpty());
}
#endif
