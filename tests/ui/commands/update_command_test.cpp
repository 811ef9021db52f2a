// The serial branch of the update command against a fake port: how the chosen entry becomes a
// port, what happens to a port left open, and what is logged and shown.
#include "net/tftp_packets.h"
#include "support/bounded_wait.h"
#include "support/fake_bench.h"
#include "ui/commands/update_command.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

constexpr char HelloByte = char(0xC1);

class UpdateCommandSerial : public ::testing::Test, protected fakes::FakeBench {
  protected:
    void SetUp() override {
        fw.Header = DFFHeader::Of("TORV5", 1, 4, 0, 12);
        // Nothing but erased flash: the unit is identified and the transfer has no frame to send.
        fw.ProgramImage = QByteArray(16192, char(0xFF));
        fw.EepromImage = fw.EepromPresent = fw.ConfigImage = QByteArray(1, '\0');
        // A TORV5 with a PIC16F876A answers every hello.
        port.answer = [](const QByteArray& bytes) {
            return bytes == QByteArray(1, HelloByte) ? QByteArray("\x40K", 2) : QByteArray();
        };
        window.ports = {"Com 5"};
        window.selected = 0;
    }
    // The flash runs on the worker; the click returns at once.
    void click() {
        command.LoadOrFlash();
        ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return !worker.busy(); }, 30000));
    }
    // Told in a notice box under the program's caption.
    bool flashed() const {
        return !prompts.messages.empty() &&
               prompts.messages.front().text ==
                   "PIC16F876A/877A flashed with firmware v1.4.12 successfully." &&
               prompts.messages.front().icon == Icon::Information &&
               prompts.messages.front().caption == "Quorvex";
    }

    fakes::ScriptedDialogs dialogs;
    WorkThread worker;
    StopRequest stop;
    UpdateCommand command{side(), UploadLine{socket, tftp::DefaultServerPort}, dialogs, worker,
                          stop};
};

TEST_F(UpdateCommandSerial, APortLeftOpenIsClosedAndReopenedOnTheChosenNumberWithNothingLogged) {
    port.port = 3;
    port.opened = true;
    click();
    EXPECT_EQ(port.openedPorts, std::vector<int>({5}));
    EXPECT_TRUE(flashed());
    EXPECT_FALSE(port.isOpen()) << "closed after the flash";
    EXPECT_TRUE(log.records.isEmpty());
}

TEST_F(UpdateCommandSerial, AnEntryOutsideOneTo255LeavesThePortNumberAndStillTriesTheOpen) {
    for (const char* entry : {"Com 0", "Com 300"}) {
        SCOPED_TRACE(entry);
        log.records.clear();
        prompts.messages.clear();
        window.ports = {entry};
        port.port = 3;
        port.opened = true; // still open on 3: the open is then "already open", passed over
        click();
        EXPECT_EQ(port.port, 3);
        EXPECT_TRUE(flashed()) << "the unit on port 3 was flashed";
        EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    }
}

TEST_F(UpdateCommandSerial, ABusyPortIsLoggedThenReported) {
    port.busy = {5};
    int recordsWhenTold = -1;
    prompts.onMessage = [&](const fakes::ShownMessage&) {
        recordsWhenTold = int(log.records.size());
    };
    click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "Unable to connect on select COM port.  The port may be in use.");
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
    EXPECT_EQ(recordsWhenTold, 1);
    EXPECT_TRUE(log.records.at(0).startsWith(
        "Error 70 (Access denied) in procedure cmdUpdate_Click of Form frmFWUpdater on line "));
    EXPECT_TRUE(port.written.isEmpty());
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(window.updateVisible);
    EXPECT_TRUE(window.controlsEnabled);
}

TEST_F(UpdateCommandSerial, NoPortSelectedOnlyAsksForOneAndClosesAPortLeftOpen) {
    window.selected = -1;
    port.opened = true;
    click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please select a COM port from the list.");
    EXPECT_EQ(prompts.messages[0].icon, Icon::Information);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.openedPorts.empty());
    EXPECT_TRUE(fw.isLoaded());
    EXPECT_EQ(window.closed, 0);
}

TEST_F(UpdateCommandSerial, TheWindowComesBackBeforeTheQuestionAndNoClosesIt) {
    int raisedAtQuestion = -1;
    prompts.onQuestion = [&](const fakes::ShownMessage&) { raisedAtQuestion = window.raised; };
    prompts.answers = {false};
    click();
    EXPECT_EQ(raisedAtQuestion, 1);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].text,
              "Would you like to flash another unit with v1.4.12 firmware?");
    EXPECT_EQ(window.messageHistory.first(), "Please reset the unit... (10 seconds)");
    EXPECT_EQ(window.closed, 1);
    EXPECT_FALSE(window.progressBar.visible);
}

} // namespace
