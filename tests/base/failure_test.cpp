#include "base/failure.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace quorvex;

TEST(Guard, LogsAFailedStepWithProcedureModuleAndTheStepsLineThenGoesOn) {
    fakes::RecordingLog log;
    Guard g(log, Place::Module("SendPacket", "modFW"));
    bool secondRan = false;
    const int line = __LINE__ + 1;
    EXPECT_FALSE(g.step([] { Raise(57); }));
    EXPECT_TRUE(g.step([&] { secondRan = true; }));
    EXPECT_TRUE(secondRan);
    EXPECT_TRUE(g.failed());
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_EQ(log.records.at(0),
              QStringLiteral(
                  "Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line %1")
                  .arg(line));
}

TEST(Guard, NamesAFormAndKeepsAnEmptyDescriptionAsEmptyBrackets) {
    fakes::RecordingLog log;
    Guard g(log, Place::Form("cmdUpdate_Click"));
    g.step([] { throw FailureError(Failure{1234, QString()}); });
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records.at(0).startsWith(
        "Error 1234 () in procedure cmdUpdate_Click of Form frmFWUpdater on line "));
}

TEST(Guard, ASpecialHandlerThatDealsWithAFailureKeepsItOutOfTheLog) {
    fakes::RecordingLog log;
    Guard g(log, Place::Form("cmdUpdate_Click"));
    int seen = 0;
    g.step([] { Raise(FailureNo::PortAlreadyOpen); },
           [&](const Failure& f) {
               seen = f.number;
               return f.number == 8005;
           });
    g.step([] { Raise(FailureNo::DeviceIOError); },
           [&](const Failure& f) { return f.number == 8005; });
    EXPECT_EQ(seen, 8005);
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records.at(0).startsWith("Error 57 "));
}

TEST(Guard, ADescriptionHoldingPercentSignsKeepsTheLineNumberInItsPlace) {
    fakes::RecordingLog log;
    Guard g(log, Place::Module("LoadDFFFile", "modFW"));
    const int line = __LINE__ + 1;
    g.step([] { Raise(53, "Unit%5B2%5D.dff not found"); });
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_EQ(log.records.at(0), QStringLiteral("Error 53 (Unit%5B2%5D.dff not found) in procedure "
                                                "LoadDFFFile of Module modFW on line ") +
                                     QString::number(line));
}
