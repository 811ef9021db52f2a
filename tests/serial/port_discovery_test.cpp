#include "serial/port_discovery.h"
#include "support/fake_devices.h"
#include "support/fakes.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace quorvex;

namespace {

struct Bench {
    LoadedFirmware firmware;
    fakes::RecordingLog log;
    fakes::ScriptedPrompts prompts;
    fakes::FakeWindow window;
    fakes::FakeSerialPort ports;
    fakes::FakeUdpSocket socket;
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
    EXPECT_EQ(b.window.captions,
              QStringList({"Scanning available COM ports, please wait...", "Browse for DFF file"}));
    EXPECT_FALSE(b.window.busy);

    b.firmware.Header = DFFHeader::Of("TORV5", 1, 4, 0, 12);
    b.firmware.ProgramImage = QByteArray(16192, char(0xFF));
    cmdRefresh_Click(b.session);
    EXPECT_EQ(b.window.caption, "Upload firmware ver. 1.4.12 to TORV5");
}
