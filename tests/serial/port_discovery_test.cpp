#include "serial/port_discovery.h"
#include "support/fakes.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <set>

using namespace quorvex;

namespace {

// A serial port whose numbered ports exist or are busy as a test says.
class ScriptedPorts : public SerialPort {
public:
    std::set<int> present;
    std::set<int> busy;
    std::vector<int> opened;

    void setCommPort(int n) override { number = n; }
    int commPort() const override { return number; }
    void setSettings(const QString& s) override { settingsText = s; }
    QString settings() const override { return settingsText; }
    void open() override {
        if (isOpenNow)
            Raise(FailureNo::PortAlreadyOpen);
        if (!present.count(number))
            Raise(FailureNo::InvalidPortNumber);
        if (busy.count(number))
            Raise(FailureNo::PermissionDenied, "Access denied");
        isOpenNow = true;
        opened.push_back(number);
    }
    void close() override { isOpenNow = false; }
    bool isOpen() const override { return isOpenNow; }
    void output(const QByteArray&) override {}
    QByteArray input() override { return {}; }
    int inBufferCount() override { return 0; }
    QString deviceName(int n) const override { return QStringLiteral("/dev/ttyUSB%1").arg(n - 1); }

    int number = 1;
    bool isOpenNow = false;
    QString settingsText = "9600,n,8,1";
};

struct Bench {
    LoadedFirmware firmware;
    fakes::RecordingLog log;
    fakes::ScriptedPrompts prompts;
    fakes::FakeWindow window;
    ScriptedPorts ports;
    struct NoSocket : UdpSocket {
        void setRemoteHost(const QString&) override {}
        QString remoteHost() const override { return {}; }
        void setRemotePort(int) override {}
        void open() override {}
        void close() override {}
        bool isOpen() const override { return false; }
        void send(const QByteArray&) override {}
        void setArrivalHandler(ArrivalHandler) override {}
    } socket;
    QTimer timer;
    Session session{firmware, log, prompts, window, ports, socket, timer, QString()};
};

} // namespace

TEST(PortDiscovery, ListsOpenablePortsInOrderLeavesBusyOnesOutAndSelectsTheFirst) {
    Bench b;
    b.ports.present = {1, 3, 5, 17};
    b.ports.busy = {5};
    cmdRefresh_Click(b.session);
    EXPECT_EQ(b.window.ports, QStringList({"Com 1", "Com 3"}));
    EXPECT_EQ(b.window.tooltips, QStringList({"/dev/ttyUSB0", "/dev/ttyUSB2"}));
    EXPECT_EQ(b.window.selected, 0);
    EXPECT_FALSE(b.ports.isOpen());
    EXPECT_TRUE(b.log.records.isEmpty());
}

TEST(PortDiscovery, NoUsablePortLeavesTheListEmptyWithNothingSelected) {
    Bench b;
    b.ports.present = {17, 20};
    b.window.ports = {"Com 9"};
    b.window.selected = 0;
    cmdRefresh_Click(b.session);
    EXPECT_TRUE(b.window.ports.isEmpty());
    EXPECT_EQ(b.window.selected, -1);
}

TEST(PortDiscovery, LocksTheWindowWhileScanningAndSetsTheCaptionForTheLoadedPackage) {
    Bench b;
    b.ports.present = {2};
    cmdRefresh_Click(b.session);
    EXPECT_EQ(b.window.enableCalls, std::vector<bool>({false, true}));
    EXPECT_EQ(b.window.captions, QStringList({"Scanning available COM ports, please wait...", "Browse for DFF file"}));
    EXPECT_FALSE(b.window.busy);

    b.firmware.Header.setProductCode("TORV5");
    b.firmware.Header.VerMajor = 1;
    b.firmware.Header.VerMinor = 4;
    b.firmware.Header.VerRevision = 12;
    b.firmware.ProgramImage = QByteArray(16192, char(0xFF));
    cmdRefresh_Click(b.session);
    EXPECT_EQ(b.window.caption, "Upload firmware ver. 1.4.12 to TORV5");
}
