#include "support/fake_bench.h"
#include "ui/commands/port_list.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(PortDiscovery, ListsOpenablePortsInOrderLeavesBusyOnesOutAndSelectsTheFirst) {
    fakes::FakeBench b;
    b.port.present = {1, 3, 5, 17};
    b.port.busy = {5};
    RefreshPortList(b.window, b.port, b.fw);
    EXPECT_EQ(b.window.ports, QStringList({"Com 1", "Com 3"}));
    EXPECT_EQ(b.window.tooltips, QStringList({"/dev/ttyUSB0", "/dev/ttyUSB2"}));
    EXPECT_EQ(b.window.selected, 0);
    EXPECT_FALSE(b.port.isOpen());
    EXPECT_TRUE(b.log.records.isEmpty());
}

TEST(PortDiscovery, NoUsablePortLeavesTheListEmptyWithNothingSelected) {
    fakes::FakeBench b;
    b.port.present = {17, 20};
    b.window.ports = {"Com 9"};
    b.window.selected = 0;
    RefreshPortList(b.window, b.port, b.fw);
    EXPECT_TRUE(b.window.ports.isEmpty());
    EXPECT_EQ(b.window.selected, -1);
}

TEST(PortDiscovery, LocksTheWindowWhileScanningAndSetsTheCaptionForTheLoadedPackage) {
    fakes::FakeBench b;
    b.port.present = {2};
    RefreshPortList(b.window, b.port, b.fw);
    EXPECT_EQ(b.window.enableCalls, std::vector<bool>({false, true}));
    EXPECT_EQ(b.window.captions,
              QStringList({"Scanning available COM ports, please wait...", "Browse for DFF file"}));

    b.fw.Header = DFFHeader::Of("TORV5", 1, 4, 0, 12);
    b.fw.ProgramImage = QByteArray(16192, char(0xFF));
    RefreshPortList(b.window, b.port, b.fw);
    EXPECT_EQ(b.window.caption, "Upload firmware ver. 1.4.12 to TORV5");
}
