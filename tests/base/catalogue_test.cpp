#include "base/catalogue.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(Catalogue, ChipIdsWithoutAModelAreUnknown) {
    for (int id : {5, 6, 7, 9, 10, 15, 16, 255, -1, -8})
        EXPECT_EQ(ChipModelName(id), "Unknown Model") << id;
    EXPECT_EQ(ChipModelName(8), "PIC18F67J60");
    EXPECT_EQ(ChipModelName(4), "PIC18F2620/4620");
}

TEST(Catalogue, UnitIdsMapToCodesAndBackIgnoringCaseButNotSpaces) {
    EXPECT_EQ(UnitIdToCode(1), "");
    EXPECT_EQ(UnitIdToCode(11), "VESKAR6");
    EXPECT_EQ(UnitIdToCode(16), "");
    EXPECT_EQ(CodeToUnitId("veskar6"), 11);
    EXPECT_EQ(CodeToUnitId("VESKAR6 "), 0);
    EXPECT_EQ(CodeToUnitId("NOPE"), 0);
    EXPECT_EQ(CodeToUnitId("ORBEL"), 0);
    EXPECT_EQ(CodeToUnitId("brix12"), 6);
}

TEST(Catalogue, DisplayNamesAndSettingsNeedTheExactCode) {
    EXPECT_EQ(ProductDisplayName("ORBEL"), "Orbel-8");
    EXPECT_EQ(ProductDisplayName("orbel"), "");
    EXPECT_EQ(ProductDisplayName("ORBEL "), "");
    EXPECT_EQ(ProductDisplayName("NYX2"), "LanSignalViewer2");
    EXPECT_EQ(SerialSettingsOf("ORBEL").value_or(""), "38400,n,8,1");
    EXPECT_EQ(SerialSettingsOf("BRIX12").value_or(""), "4800,n,8,1");
    EXPECT_FALSE(SerialSettingsOf("VESKAR2").has_value());
    EXPECT_EQ(ProposedChipOf(11).value_or(-1), 4);
    EXPECT_FALSE(ProposedChipOf(3).has_value());
}

TEST(Catalogue, NetworkUnitFollowsTheChipNotTheProduct) {
    LoadedFirmware fw;
    fw.Header.setProductCode("TORV5");
    fw.Header.ChipId = 8;
    EXPECT_TRUE(IsNetworkUnit(fw));
    fw.Header.setProductCode("VESKAR2");
    fw.Header.ChipId = 4;
    EXPECT_FALSE(IsNetworkUnit(fw));
}
