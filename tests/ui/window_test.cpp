#include "base/catalogue.h"
#include "fake_window.h"
#include "net/tftp_packets.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "ui/qt_prompts.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace quorvex;
using quorvex::testing::WaitUntil;

namespace {

class WindowTest : public ::testing::Test, protected quorvex::testing::FakeWindow {
  protected:
    void SetUp() override { openWindow(deps()); }
    // Asks the window to close as its close box would.
    bool closeBoxClosesIt() {
        QCloseEvent e;
        e.setAccepted(true);
        QApplication::sendEvent(form.get(), &e);
        return e.isAccepted();
    }
};

TEST_F(WindowTest, StartsReadyWithCaptionAndNothingButLogoButtonAndExit) {
    EXPECT_EQ(form->windowTitle(), "Tolvane, Inc. Quorvex v1.1.0");
    EXPECT_EQ(child<QPushButton>("cmdUpdate")->text(), "Browse for DFF file");
    EXPECT_TRUE(child<QPushButton>("cmdUpdate")->isVisible());
    EXPECT_TRUE(child<QWidget>("imgLogo")->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmdExit")->isVisible());
    for (const char* hidden : {"picSerMedium", "picEthMedium", "picProgress", "picCreateDFF"})
        EXPECT_FALSE(child<QWidget>(hidden)->isVisible()) << hidden;
    EXPECT_FALSE(form->working());
    EXPECT_EQ(child<QComboBox>("SerialCommPort")->count(), 0);
    EXPECT_EQ(child<QLineEdit>("txtIP")->text(), "192.168.0.200");
    EXPECT_EQ(child<QLabel>("lblStat")->text(), "Status: Ready.");
}

TEST_F(WindowTest, TheTwoMediumPanelsShareOnePlaceAndTheButtonCoversMessageAndBar) {
    EXPECT_EQ(child<QWidget>("picEthMedium")->geometry(),
              child<QWidget>("picSerMedium")->geometry());
    const QRect button = child<QWidget>("cmdUpdate")->geometry();
    EXPECT_TRUE(button.contains(child<QWidget>("lblMessage")->geometry()));
    EXPECT_TRUE(button.contains(child<QWidget>("picProgress")->geometry()));
    EXPECT_EQ(child<QLabel>("lblStat")->parentWidget(), child<QWidget>("picEthMedium"));
}

TEST_F(WindowTest, CloseBoxIsRefusedInEveryState) {
    EXPECT_FALSE(closeBoxClosesIt());
    form->showMedium(Medium::Serial);
    form->setUpdateVisible(false);
    form->EnableControls(false);
    EXPECT_FALSE(closeBoxClosesIt());
    form->showMedium(Medium::Network);
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(closeBoxClosesIt());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowTest, EnableControlsSparesTheStatusLinePanelsAndLogo) {
    form->showMedium(Medium::Network);
    form->EnableControls(false);
    for (const char* off : {"cmdUpdate", "cmdExit", "cmdRefresh", "txtIP", "SerialCommPort",
                            "lblMessage", "cmbUnitIdList"})
        EXPECT_FALSE(child<QWidget>(off)->isEnabled()) << off;
    for (const char* on : {"lblStat", "picEthMedium", "picSerMedium", "imgLogo", "picProgress"})
        EXPECT_TRUE(child<QWidget>(on)->isEnabled()) << on;
    EXPECT_TRUE(child<QWidget>("picEthMedium")->isVisible());
    EXPECT_FALSE(child<QWidget>("picSerMedium")->isVisible());
    form->EnableControls(true);
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
}

TEST_F(WindowTest, ExitClosesTheOpenPortAndEmptiesThePackage) {
    serial.present = {1};
    serial.open();
    firmware.ProgramImage = QByteArray(10, 'x');
    firmware.EepromImage = QByteArray(1, 0);
    QTest::mouseClick(child<QPushButton>("cmdExit"), Qt::LeftButton);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_FALSE(firmware.isLoaded());
    EXPECT_TRUE(firmware.EepromImage.isEmpty());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, RefreshListsPortsAndShowsTheDeviceBehindTheSelectedEntry) {
    serial.present = {2, 4};
    QTest::mouseClick(child<QPushButton>("cmdRefresh"), Qt::LeftButton);
    auto* list = child<QComboBox>("SerialCommPort");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "Com 2");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(list->toolTip(), "/dev/ttyUSB1");
    EXPECT_EQ(child<QPushButton>("cmdUpdate")->text(), "Browse for DFF file");
    EXPECT_TRUE(child<QWidget>("cmdRefresh")->isEnabled());
}

TEST_F(WindowTest, MakerPanelOpensOnlyOnALeftPressWithAModifier) {
    auto* panel = child<QWidget>("picCreateDFF");
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::NoModifier);
    form->imgLogo_MouseDown(Qt::RightButton, Qt::ShiftModifier);
    form->imgLogo_MouseDown(Qt::MiddleButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(panel->isVisible());
    for (auto m :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::AltModifier),
          Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier}) {
        form->cmdCancel_Click();
        form->imgLogo_MouseDown(Qt::LeftButton, m);
        EXPECT_TRUE(panel->isVisible());
    }
    QTest::mouseClick(child<QWidget>("imgLogo"), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry().center(), form->rect().center());
}

TEST_F(WindowTest, MakerPanelOpensOnTheFirstProductAndChipWithVersionOneZeroZero) {
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::ShiftModifier);
    auto* units = child<QComboBox>("cmbUnitIdList");
    auto* chips = child<QComboBox>("cmbPicIdList");
    EXPECT_EQ(units->count(), 8);
    EXPECT_EQ(units->currentText(), "ORBEL");
    EXPECT_EQ(chips->count(), 6);
    EXPECT_EQ(chips->currentText(), "PIC16F876A/877A [0]");
    EXPECT_EQ(chips->itemText(5), "PIC18F67J60 [8]");
    const auto boxes = form->findChildren<QLineEdit*>("txtFWVer");
    ASSERT_EQ(boxes.size(), 3);
    QStringList texts;
    for (auto* b : boxes)
        texts << b->text();
    EXPECT_EQ(texts, QStringList({"1", "0", "0"}));

    // A second press while open starts over: first entries, version 1.0.0.
    units->setCurrentIndex(3);
    chips->setCurrentIndex(2);
    boxes[0]->setText("9");
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(units->currentText(), "ORBEL");
    EXPECT_EQ(chips->currentIndex(), 0);
    EXPECT_EQ(boxes[0]->text(), "1");
}

TEST_F(WindowTest, PickingAProductProposesItsChipAndQM571HidesTwoBoxes) {
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::AltModifier);
    auto* units = child<QComboBox>("cmbUnitIdList");
    auto* chips = child<QComboBox>("cmbPicIdList");
    const auto boxes = form->findChildren<QLineEdit*>("txtFWVer");
    auto pick = [&](const char* code) {
        units->setCurrentIndex(units->findText(code));
        form->cmbUnitIdList_Click();
    };
    pick("VESKAR2");
    EXPECT_EQ(chips->currentText(), "PIC18F67J60 [8]");
    pick("ORBEL");
    EXPECT_EQ(chips->currentText(), "PIC18F2620/4620 [4]");
    boxes[1]->setText("7");
    pick("QM571");
    EXPECT_EQ(chips->currentText(), "PIC16F886/887 [2]");
    EXPECT_FALSE(boxes[1]->isVisible());
    EXPECT_FALSE(boxes[2]->isVisible());
    pick("BRIX12");
    EXPECT_TRUE(boxes[1]->isVisible());
    EXPECT_EQ(form->focusWidget(), boxes[1]) << "the minor box takes the focus when shown";
    EXPECT_EQ(boxes[1]->text(), "7");
    EXPECT_EQ(chips->currentText(), "PIC16F873A/874A [1]");
}

TEST_F(WindowTest, AVersionBoxSelectsItsWholeTextWhenFocused) {
    form->imgLogo_MouseDown(Qt::LeftButton, Qt::ShiftModifier);
    form->activateWindow();
    const auto boxes = form->findChildren<QLineEdit*>("txtFWVer");
    boxes[2]->setText("12");
    form->txtFWVer_GotFocus(2);
    QTRY_COMPARE_WITH_TIMEOUT(boxes[2]->selectedText(), QString("12"), 1000);
    EXPECT_EQ(boxes[2]->selectedText(), "12");
    form->cmdCancel_Click();
    EXPECT_FALSE(child<QWidget>("picCreateDFF")->isVisible());
}

QString AccessibleName(QObject* o) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(QAccessible::Name) : QString();
}

TEST_F(WindowTest, TheLogoIsANamedImageAndEachBoxIsNamedByItsCaption) {
    QAccessibleInterface* logo = QAccessible::queryAccessibleInterface(child<QWidget>("imgLogo"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->role(), QAccessible::Graphic);
    EXPECT_EQ(logo->text(QAccessible::Name), "Tolvane logo");
    EXPECT_EQ(AccessibleName(child<QComboBox>("SerialCommPort")), "Serial Comm. Port");
    EXPECT_EQ(AccessibleName(child<QLineEdit>("txtIP")), "Target:");
    EXPECT_EQ(AccessibleName(child<QComboBox>("cmbUnitIdList")), "Unit ID:");
    EXPECT_EQ(AccessibleName(child<QComboBox>("cmbPicIdList")), "Chip ID:");
    QStringList versionNames;
    for (auto* box : form->findChildren<QLineEdit*>("txtFWVer"))
        versionNames << AccessibleName(box);
    EXPECT_EQ(versionNames,
              QStringList({"FW Version: major", "FW Version: minor", "FW Version: build"}));
}

// A unit's ERROR text is data: shown character for character, at once, and cut when it would
// flood the window.
TEST_F(WindowTest, AUnitsErrorTextIsShownAtOnceAsPlainTextAndCutToLength) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = QByteArray(2000, 'x');
    form->showMedium(Medium::Network);
    child<QLineEdit>("txtIP")->setText(QStringLiteral("127.0.0.1"));
    auto* status = child<QLabel>("lblStat");

    const auto shown = [&](const QString& text) {
        return WaitUntil([&] { return form->status() == text; }, 5000);
    };
    form->cmdUpdate_Click();
    socket.deliver(tftp::Ack(0));
    ASSERT_TRUE(shown("Status: Transmitting block #1")) << form->status().toStdString();
    socket.deliver(tftp::Error(0, "<b>x</b>"));
    ASSERT_TRUE(shown("Status: <b>x</b>"));
    // Drawn with the text itself, before any further event.
    EXPECT_EQ(status->text(), "Status: <b>x</b>");
    EXPECT_EQ(AccessibleName(status), "Status: <b>x</b>");

    ASSERT_TRUE(WaitUntil([&] { return !form->working(); }, 5000));
    form->cmdUpdate_Click();
    socket.deliver(tftp::Ack(0));
    socket.deliver(tftp::Error(0, QByteArray(65000, '<')));
    ASSERT_TRUE(WaitUntil([&] { return form->status().size() == 8 + 65000; }, 5000));
    EXPECT_EQ(form->status().size(), 8 + 65000);
    EXPECT_EQ(status->text().size(), FrmFWUpdater::StatusShownMax);
    EXPECT_TRUE(status->text().endsWith(QChar(0x2026)));
}

// Blocks that follow one another faster than a person reads are drawn merged; when the unit then
// falls silent, the last block sent is what the line shows, with no further event to bring it.
TEST_F(WindowTest, TheStatusLineShowsTheLastBlockSentWhenTheUnitFallsSilent) {
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = QByteArray(2000, 'x');
    form->showMedium(Medium::Network);
    child<QLineEdit>("txtIP")->setText(QStringLiteral("127.0.0.1"));
    auto* status = child<QLabel>("lblStat");

    form->cmdUpdate_Click();
    for (int block = 0; block < 3; ++block)
        socket.deliver(tftp::Ack(block));
    EXPECT_TRUE(WaitUntil([&] { return status->text() == "Status: Transmitting block #3"; }, 2000))
        << status->text().toStdString();
    EXPECT_TRUE(form->working()) << "the unit has not answered the last block";
}

// Boxes quote paths and failure texts from outside the program: markup in them is shown as the
// characters it is made of, in messages and questions alike.
TEST_F(WindowTest, MessageBoxesShowMarkupInPathsAsWritten) {
    QtPrompts boxes;
    boxes.setParentWindow(form.get());
    const QString path = QStringLiteral("/bench/<i>x</i> <img src=logo.png> &lt;.dff");
    QStringList shown;
    bool plain = true;
    const auto readAndClose = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            ASSERT_NE(label, nullptr);
            shown << AccessibleName(label);
            plain = plain && label->textFormat() == Qt::PlainText;
            box->button(button)->click();
        });
    };
    readAndClose(QMessageBox::Ok);
    boxes.message("The package " + path + " was not written: <b>disk full</b>.", Icon::Error,
                  "Quorvex");
    readAndClose(QMessageBox::No);
    EXPECT_FALSE(boxes.askYesNo("Load " + path + "?", "Quorvex"));
    EXPECT_EQ(shown, QStringList({"The package " + path + " was not written: <b>disk full</b>.",
                                  "Load " + path + "?"}));
    EXPECT_TRUE(plain);
}
} // namespace
