// The maker at the window: opens the hidden panel, picks and types, presses Continue.
#include "fake_window.h"
#include "flow/open_package.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "support/hex_records.h"
#include "support/test_files.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace quorvex;
namespace pkg = quorvex::testing;

namespace {

class MakerWindow : public ::testing::Test, protected quorvex::testing::FakeWindow {
  protected:
    void SetUp() override {
        openWindow(deps());
        pkg::WriteAll(input, firmwareText);
    }
    QLineEdit* box(int index) const { return form->findChildren<QLineEdit*>("txtFWVer").at(index); }
    QWidget* panel() const { return child<QWidget>("picCreateDFF"); }

    void openPanel() {
        QTest::mouseClick(child<QWidget>("imgLogo"), Qt::LeftButton, Qt::ShiftModifier);
        ASSERT_TRUE(panel()->isVisible());
    }
    // Steps through the unit list with the keyboard, as a maker would, until `code` shows.
    void pickProduct(const char* code) {
        auto* units = child<QComboBox>("cmbUnitIdList");
        units->setFocus();
        units->setCurrentIndex(0);
        for (int i = 0; i < units->count() && units->currentText() != QLatin1String(code); ++i)
            QTest::keyClick(units, Qt::Key_Down);
        ASSERT_EQ(units->currentText(), QLatin1String(code));
    }
    void type(int index, const char* text) {
        box(index)->selectAll();
        QTest::keyClicks(box(index), QString::fromLatin1(text));
    }
    // The build runs on the window's worker: the press returns at once.
    void pressContinue() {
        QTest::mouseClick(child<QPushButton>("cmdMakeDFF"), Qt::LeftButton);
        ASSERT_TRUE(pkg::WaitUntil([&] { return !form->working(); }, 30000));
    }

    // What a technician's program makes of the package.
    LoadedFirmware loadBack(const QString& package) {
        fakes::RecordingLog log;
        fakes::ConfirmingReport yes;
        const OpenOutcome opened = OpenPackage(package, yes, log);
        const auto* loaded = std::get_if<Package>(&opened);
        EXPECT_NE(loaded, nullptr) << log.records.join('\n').toStdString();
        return loaded ? loaded->firmware() : LoadedFirmware{};
    }

    pkg::Scratch scratch;
    QString input = scratch.path("app.hex");
    QByteArray firmwareText =
        pkg::Lines({pkg::Data(0, pkg::Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})), pkg::EndRecord()});
};

TEST_F(MakerWindow, ANetworkPackageIsBuiltFromThePanelAndTheProgramEnds) {
    const QByteArray image = pkg::Pattern(3000, 9);
    pkg::WriteAll(input, image);
    openPanel();
    pickProduct("VESKAR2");
    EXPECT_EQ(child<QComboBox>("cmbPicIdList")->currentText(), QStringLiteral("PIC18F67J60 [8]"));
    type(0, "3");
    type(1, "07");
    type(2, "1");
    const QString target = scratch.path("app v3.07.1.dff");
    dialogs.choose(input);
    dialogs.choose(target);
    bool panelOpenDuringSave = true;
    bool windowLockedDuringSave = false;
    dialogs.onShow = [&](const FileDialogRequest& r) {
        if (r.kind == FileDialogRequest::Kind::Save) {
            panelOpenDuringSave = panel()->isVisible();
            windowLockedDuringSave = !child<QWidget>("cmdUpdate")->isEnabled() &&
                                     !child<QWidget>("cmdExit")->isEnabled();
        }
    };
    pressContinue();

    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].fileName, QStringLiteral("app v3.07.1"));
    EXPECT_FALSE(panelOpenDuringSave);
    EXPECT_TRUE(windowLockedDuringSave) << "no second load or build can start while encoding";
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text, QStringLiteral("Encoding finished."));
    EXPECT_FALSE(form->isVisible()) << "a finished build ends the program";

    const LoadedFirmware fw = loadBack(target);
    EXPECT_EQ(fw.Header.trimmedCode(), QStringLiteral("VESKAR2"));
    EXPECT_EQ(fw.Header.versionText(), QStringLiteral("3.7.1"));
    EXPECT_EQ(fw.Header.ChipId, 8);
    EXPECT_EQ(fw.ProgramImage, image);
}

TEST_F(MakerWindow, QM571TakesItsHiddenBoxesAsTheyStand) {
    openPanel();
    pickProduct("QM571");
    EXPECT_FALSE(box(1)->isVisible());
    EXPECT_EQ(child<QComboBox>("cmbPicIdList")->currentText(), QStringLiteral("PIC16F886/887 [2]"));
    type(0, "4");
    const QString target = scratch.path("qm.dff");
    dialogs.choose(input);
    dialogs.choose(target);
    pressContinue();
    EXPECT_FALSE(form->isVisible());
    const LoadedFirmware fw = loadBack(target);
    EXPECT_EQ(fw.Header.versionText(), QStringLiteral("4.0.0"));
    EXPECT_EQ(fw.Header.ChipId, 2);
    EXPECT_EQ(fw.ProgramImage.mid(8, 2), pkg::Bytes({9, 10}));
}

TEST_F(MakerWindow, AVersionOutOfRangeKeepsThePanelOpenForACorrection) {
    openPanel();
    type(0, "300");
    pressContinue();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("The major version box holds \"300\"."));

    type(0, "3");
    dialogs.cancel();
    pressContinue();
    EXPECT_EQ(dialogs.requests.size(), 1u);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(MakerWindow, AFailedBuildIsReportedAndTheProgramRunsOnWithThePanelClosed) {
    openPanel();
    const QString target = scratch.path("missing folder/app.dff");
    dialogs.choose(input);
    dialogs.choose(target);
    pressContinue();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("was not written"));
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(child<QWidget>("picProgress")->isVisible());
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace
