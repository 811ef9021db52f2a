#include "package/maker_panel.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(MakerPanel, ListsEveryProductAndEveryKnownChipInIdOrder) {
    EXPECT_EQ(UnitListEntries(), QStringList({"ORBEL", "QM571", "TORV5", "BRIX12", "NYX2",
                                              "VESKAR2", "VESKAR4", "VESKAR6"}));
    EXPECT_EQ(ChipListEntries(),
              QStringList({"PIC16F876A/877A [0]", "PIC16F873A/874A [1]", "PIC16F886/887 [2]",
                           "PIC18F2520/4520 [3]", "PIC18F2620/4620 [4]", "PIC18F67J60 [8]"}));
}

TEST(MakerPanel, ProposesEachProductsChipAndKeepsTheChoiceWhenNoEntryMatches) {
    const QStringList chips = ChipListEntries();
    struct Row {
        const char* code;
        int chip;
    };
    for (const Row& r : {Row{"ORBEL", 4}, Row{"QM571", 2}, Row{"TORV5", 0}, Row{"BRIX12", 1},
                         Row{"NYX2", 8}, Row{"VESKAR2", 8}, Row{"VESKAR4", 8}, Row{"VESKAR6", 4}}) {
        const auto chip = DefaultChipFor(r.code);
        ASSERT_TRUE(chip.has_value()) << r.code;
        EXPECT_EQ(*chip, r.chip) << r.code;
    }
    EXPECT_EQ(SelectChipEntry(chips, 8, 0), 5);
    EXPECT_EQ(SelectChipEntry(QStringList({"pic18f67j60 [8]"}), 8, -1), 0);
    EXPECT_EQ(SelectChipEntry(chips, 6, 3), 3);
}

TEST(MakerPanel, OnlyQM571HidesTheMinorAndRevisionBoxes) {
    EXPECT_TRUE(HidesMinorAndRevision("QM571"));
    EXPECT_TRUE(HidesMinorAndRevision("qm571"));
    EXPECT_FALSE(HidesMinorAndRevision("ORBEL"));
}

TEST(MakerPanel, VersionBoxesReadTheirLeadingNumberRoundedHalfToEven) {
    struct Row {
        const char* text;
        int expected; // -1: refused
    };
    const Row rows[] = {{"1", 1},   {"01", 1},      {"255", 255},  {"256", -1},  {"-1", -1},
                        {"", 0},    {"abc", 0},     {"12abc", 12}, {" 7", 7},    {"2.5", 2},
                        {"3.5", 4}, {"254.6", 255}, {"255.5", -1}, {"1.4.12", 1}};
    for (const Row& r : rows) {
        const auto v = ReadVersionBox(r.text);
        if (r.expected < 0) {
            EXPECT_FALSE(v.has_value()) << r.text;
        } else {
            EXPECT_EQ(v.value_or(-1), r.expected) << r.text;
        }
    }
}

TEST(MakerPanel, ChipEntriesGiveTheirIdAndEntriesWithoutOneAreRefused) {
    EXPECT_EQ(ChipIdOfEntry("PIC18F67J60 [8]").value_or(-1), 8);
    EXPECT_EQ(ChipIdOfEntry("PIC16F876A/877A [0]").value_or(-1), 0);
    EXPECT_FALSE(ChipIdOfEntry("PIC18F67J60").has_value());
    EXPECT_FALSE(ChipIdOfEntry("PIC18F67J60 []").has_value());
    EXPECT_FALSE(ChipIdOfEntry("X [300]").has_value());
}

TEST(MakerPanel, OpensOnLeftWithAnyModifierOnly) {
    EXPECT_FALSE(OpensMakerPanel(true, false, false, false));
    EXPECT_FALSE(OpensMakerPanel(false, true, true, true));
    EXPECT_TRUE(OpensMakerPanel(true, false, true, false));
    EXPECT_TRUE(OpensMakerPanel(true, true, true, true));
}
