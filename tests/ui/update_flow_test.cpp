// The technician's day through the real window: browse and load packages, flash a simulated
// serial unit over a pseudo-terminal and a real TFTP server on 127.0.0.1, with message boxes and
// file dialogs answered from a script.
#include "base/catalogue.h"
#include "bootsim/simulator.h"
#include "net/system_udp_socket.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "serial/qt_serial_port.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "support/test_files.h"
#include "support/tftpd_fixture.h"
#include "ui/frm_fw_updater.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace quorvex;

namespace {

using quorvex::testing::EncodeFile;
using quorvex::testing::Fixture;
using quorvex::testing::ReadAll;

class UpdateFlow : public ::testing::Test {
  protected:
    // Starts the window with the simulated unit on "Com `com`" answering `identification`.
    void start(std::uint8_t identification, quint16 tftpPort = 69, int com = 1) {
        bootsim::Options options;
        options.identification = identification;
        start(options, tftpPort, com);
    }
    void start(const bootsim::Options& options, quint16 tftpPort = 69, int com = 1) {
        sim = std::make_unique<bootsim::Simulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        // Nodes before the unit's are no serial ports at all, so the unit is the only one listed.
        for (int n = 0; n + 1 < com; ++n)
            ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"),
                                    devices.filePath(QStringLiteral("ttyUSB%1").arg(n))));
        ASSERT_TRUE(QFile::link(sim->slavePath(),
                                devices.filePath(QStringLiteral("ttyUSB%1").arg(com - 1))));
        serial = std::make_unique<QtSerialPort>(devices.path());
        form = std::make_unique<FrmFWUpdater>(
            FormDeps{firmware, prompts, *serial, socket, dialogs, programFolder.path(), tftpPort});
        form->show();
        // The default address is never a target here.
        child<QLineEdit>("txtIP")->setText(QStringLiteral("127.0.0.1"));
    }

    template <typename T> T* child(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    QPushButton* updateButton() const { return child<QPushButton>("cmdUpdate"); }
    // A load and a serial flash run on the window's worker: the click returns at once, and the
    // window is given back (or closed) when the work is over. An upload is waited for by the
    // test itself.
    void clickUpdate() {
        const bool upload = firmware.isLoaded() && IsNetworkUnit(firmware);
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        if (!upload)
            waitForTheWork();
    }
    void waitForTheWork() {
        ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return !form->working(); }, 60000));
    }
    QString status() const { return child<QLabel>("lblStat")->text(); }

    // Browses for `fixture` and confirms the question about it.
    void load(const char* fixture) {
        dialogs.choose(Fixture(fixture));
        prompts.answers.push_back(true);
        clickUpdate();
    }

    QStringList messageTexts() const {
        QStringList out;
        for (const auto& m : prompts.messages)
            out << m.text;
        return out;
    }

    QTemporaryDir programFolder;
    QTemporaryDir devices;
    LoadedFirmware firmware;
    fakes::ScriptedPrompts prompts;
    fakes::ScriptedDialogs dialogs;
    fakes::TableResolver resolver;
    SystemUdpSocket socket{resolver};
    std::unique_ptr<bootsim::Simulator> sim;
    std::unique_ptr<QtSerialPort> serial;
    std::unique_ptr<FrmFWUpdater> form;
};

TEST_F(UpdateFlow, SerialPackageIsLoadedFlashedByteForByteAndFlashedAgainUntilNo) {
    start(0x40); // TORV5 with a PIC16F876A
    bool lockedDuringQuestion = false;
    prompts.onQuestion = [&](const fakes::ShownMessage&) {
        lockedDuringQuestion = !updateButton()->isEnabled() &&
                               !child<QWidget>("cmdExit")->isEnabled() &&
                               updateButton()->text() == "Verifying DFF...";
    };
    load("sparse17.dff");
    prompts.onQuestion = nullptr;
    EXPECT_TRUE(lockedDuringQuestion);
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 1.4.12 to TORV5");
    EXPECT_TRUE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_FALSE(child<QWidget>("picEthMedium")->isVisible());
    ASSERT_EQ(child<QComboBox>("SerialCommPort")->currentText(), "Com 1");
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(prompts.questions[0].text.contains("TORV5\r\nVersion: 1.4.12"));

    prompts.answers.push_back(true); // flash another unit: yes
    clickUpdate();
    EXPECT_EQ(messageTexts(),
              QStringList({"PIC16F876A/877A flashed with firmware v1.4.12 successfully."}));
    ASSERT_EQ(prompts.questions.size(), 2u);
    EXPECT_EQ(prompts.questions[1].text,
              "Would you like to flash another unit with v1.4.12 firmware?");
    EXPECT_EQ(sim->flash().left(firmware.ProgramImage.size()), firmware.ProgramImage);
    EXPECT_EQ(sim->frames().size(), 17u);
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(updateButton()->isEnabled());
    EXPECT_FALSE(child<QWidget>("picProgress")->isVisible());
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 1.4.12 to TORV5");

    prompts.answers.push_back(false); // this time: no further unit
    clickUpdate();
    EXPECT_EQ(sim->frames().size(), 34u);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(firmware.isLoaded());
    EXPECT_FALSE(serial->isOpen());
}

TEST_F(UpdateFlow, APortListedAsCom12IsOpenedAsPort12AndAMinimisedWindowComesBackForTheQuestion) {
    start(0x40, 69, 12);
    load("revector16.dff");
    ASSERT_EQ(child<QComboBox>("SerialCommPort")->count(), 1);
    ASSERT_EQ(child<QComboBox>("SerialCommPort")->currentText(), "Com 12");
    form->showMinimized();
    bool minimisedAtQuestion = true;
    prompts.answers.push_back(true);
    prompts.onQuestion = [&](const fakes::ShownMessage&) {
        minimisedAtQuestion = form->isMinimized();
    };
    clickUpdate();
    EXPECT_EQ(serial->commPort(), 12);
    EXPECT_EQ(sim->frames().size(), 2u);
    EXPECT_EQ(messageTexts(),
              QStringList({"PIC16F876A/877A flashed with firmware v1.4.12 successfully."}));
    EXPECT_FALSE(minimisedAtQuestion);
}

// Counts the window's paints while `during` holds.
class PaintsWhile : public QObject {
  public:
    explicit PaintsWhile(std::function<bool()> during) : during_(std::move(during)) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && o->isWidgetType() && during_())
            ++paints;
        return false;
    }
    int paints = 0;

  private:
    std::function<bool()> during_;
};

TEST_F(UpdateFlow, TheWindowDrawsWhileAUnitIsFlashedAndItsLockedControlsDoNothing) {
    bootsim::Options unit;
    unit.identification = 0x40;
    unit.turnaroundMs = 120; // the 17 frames take seconds: time to look at the window meanwhile
    start(unit);
    load("sparse17.dff");
    const auto underWay = [&] {
        const std::size_t frames = sim->frames().size();
        return frames > 0 && frames < 17;
    };
    PaintsWhile paints(underWay);
    prompts.answers.push_back(true);
    QTest::mouseClick(updateButton(), Qt::LeftButton);
    // The click has returned while the unit still takes its frames: the window's thread is free.
    EXPECT_LT(sim->frames().size(), 17u);
    EXPECT_FALSE(updateButton()->isVisible());
    ASSERT_TRUE(quorvex::testing::WaitUntil(underWay, 20000));
    QTest::mouseClick(child<QPushButton>("cmdExit"), Qt::LeftButton);
    EXPECT_TRUE(form->isVisible()) << "Exit is locked during the flash";
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return updateButton()->isVisible(); }, 30000));
    EXPECT_GT(paints.paints, 0);
    EXPECT_EQ(sim->frames().size(), 17u);
    EXPECT_EQ(messageTexts(),
              QStringList({"PIC16F876A/877A flashed with firmware v1.4.12 successfully."}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(serial->isOpen());
}

TEST_F(UpdateFlow, AWindowClosedMidFlashStopsTheUnitAtAFrameAndGivesThePortBack) {
    // The system closes the window while the unit takes its frames (a session ending): the
    // flash stops before its next frame instead of holding the window's end for the rest of
    // the image, and the port is released.
    bootsim::Options unit;
    unit.identification = 0x40;
    unit.turnaroundMs = 120;
    start(unit);
    load("sparse17.dff");
    QTest::mouseClick(updateButton(), Qt::LeftButton);
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return sim->frames().size() >= 2; }, 20000));
    form->closeWindow();
    EXPECT_FALSE(form->isVisible());
    form.reset();
    const std::size_t taken = sim->frames().size();
    EXPECT_LT(taken, 17u);
    EXPECT_FALSE(serial->isOpen());
    QTest::qWait(400);
    EXPECT_EQ(sim->frames().size(), taken) << "a frame went out after the window had gone";
    EXPECT_TRUE(prompts.messages.empty()) << "the stopped flash is told nothing";
}

TEST_F(UpdateFlow, TheWindowAndQuorvexCliSendTheUnitTheSameBytesForTheSamePackage) {
    start(0x40);
    load("sparse17.dff");
    prompts.answers.push_back(true);
    clickUpdate();
    ASSERT_EQ(sim->frames().size(), 17u);

    bootsim::Options options;
    options.identification = 0x40;
    bootsim::Simulator cliUnit(options);
    QString error;
    ASSERT_TRUE(cliUnit.start(&error)) << error.toStdString();
    QProcess cli;
    cli.start(qEnvironmentVariable("QUORVEX_BUILD_DIR") + QStringLiteral("/cli/quorvex-cli"),
              {QStringLiteral("flash"), Fixture("sparse17.dff"), QStringLiteral("--port"),
               cliUnit.slavePath()});
    ASSERT_TRUE(cli.waitForFinished(60000)) << cli.errorString().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(cliUnit.received(), sim->received());
}

TEST_F(UpdateFlow, NetworkPackageArrivesWholeAtARealTftpServer) {
    quorvex::testing::TftpdServer server;
    ASSERT_TRUE(quorvex::testing::TftpdServer::Installed())
        << "tftpd-hpa is not installed (scripts/test installs it)";
    ASSERT_EQ(server.start(), QString());
    start(0x40, server.port());
    load("net1000.dff");
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 2.10.3 to LanSignalViewer2");
    EXPECT_TRUE(child<QWidget>("picEthMedium")->isVisible());
    EXPECT_EQ(child<QWidget>("picEthMedium")->pos(), child<QWidget>("picSerMedium")->pos());
    EXPECT_EQ(status(), "Status: Ready.");

    clickUpdate();
    // The click returns at once; the window stays locked until the transfer ends.
    EXPECT_FALSE(updateButton()->isVisible());
    EXPECT_FALSE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_FALSE(child<QWidget>("txtIP")->isEnabled());
    EXPECT_TRUE(child<QWidget>("lblStat")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(status() == "Status: Finished.  Ready.", 10000);
    EXPECT_EQ(status(), "Status: Finished.  Ready.");
    EXPECT_EQ(ReadAll(server.pathOf("NYX2")), ReadAll(Fixture("net1000.bin")));
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_TRUE(firmware.isLoaded());
    EXPECT_TRUE(prompts.messages.empty());
}

// Notes the text of the status line each time it is painted.
class PaintLog : public QObject {
  public:
    explicit PaintLog(QLabel* label) : label_(label) { label->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && e->type() == QEvent::Paint)
            painted << label_->text();
        return false;
    }
    QStringList painted;

  private:
    QLabel* label_;
};

// The status line keeps pace with a person, not with the datagrams: a 1 MiB upload sends 2,049
// blocks, the line is painted a few dozen times, and the last block still shows before
// "Finished".
TEST_F(UpdateFlow, AMegabyteUploadRepaintsTheStatusLineAtReadingRateAndShowsTheLastBlock) {
    quorvex::testing::TftpdServer server;
    ASSERT_TRUE(quorvex::testing::TftpdServer::Installed())
        << "tftpd-hpa is not installed (scripts/test installs it)";
    ASSERT_EQ(server.start(), QString());
    start(0x40, server.port());
    QByteArray image(1024 * 1024, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + (i >> 9));
    firmware.Header.setProductCode(QStringLiteral("NYX2"));
    firmware.Header.ChipId = NetworkChipId;
    firmware.ProgramImage = image;
    form->showMedium(Medium::Network);
    PaintLog paints(child<QLabel>("lblStat"));

    clickUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(status() == "Status: Finished.  Ready.", 30000);
    EXPECT_EQ(ReadAll(server.pathOf("NYX2")), image);
    const int blocks = 1024 * 1024 / 512 + 1; // the last one empty
    const qsizetype finished = paints.painted.indexOf("Status: Finished.  Ready.");
    ASSERT_GT(finished, 0) << paints.painted.join(" / ").toStdString();
    EXPECT_EQ(paints.painted.at(finished - 1),
              QStringLiteral("Status: Transmitting block #%1").arg(blocks));
    // One paint per 100 ms would allow 256 in 25.6 s; the upload takes well under a second
    // unless the machine is very busy.
    EXPECT_LT(paints.painted.size(), blocks / 8) << paints.painted.size() << " paints";
}

TEST_F(UpdateFlow, AnUnresolvableAddressShowsTheSocketTextAndGivesTheWindowBack) {
    start(0x40);
    load("net1000.dff");
    child<QLineEdit>("txtIP")->setText(QStringLiteral("unit.invalid"));
    clickUpdate();
    waitForTheWork();
    EXPECT_EQ(status(), "Authoritative answer host not found.");
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_FALSE(socket.isOpen());
    EXPECT_TRUE(firmware.isLoaded());
}

TEST_F(UpdateFlow, CancellingTheDialogLeavesNothingLoadedAndNoMessage) {
    start(0x40);
    dialogs.cancel();
    clickUpdate();
    EXPECT_EQ(updateButton()->text(), "Browse for DFF file");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_FALSE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_FALSE(child<QWidget>("picEthMedium")->isVisible());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Load Tolvane Firmware File");
    EXPECT_TRUE(updateButton()->isEnabled());
}

TEST_F(UpdateFlow, ARejectedPackageSaysSoAndTheNextClickBrowsesFromItsFolder) {
    start(0x40);
    load("wrongkey.dff");
    EXPECT_EQ(updateButton()->text(), "Unable to load. Click to try again.");
    EXPECT_EQ(
        messageTexts(),
        QStringList({"Invalid DFF file.  Please obtain the latest TORV5 software and DFF files."}));
    EXPECT_FALSE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_FALSE(firmware.isLoaded());

    dialogs.cancel();
    clickUpdate();
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].fileName, Fixture("wrongkey.dff"));
    EXPECT_EQ(QDir(dialogs.requests[1].folder).canonicalPath(),
              QDir(qEnvironmentVariable("QUORVEX_FIXTURES")).canonicalPath());
    EXPECT_EQ(updateButton()->text(), "Browse for DFF file");
}

TEST_F(UpdateFlow, UploadOpensTheListedDeviceAndNothingElseOnceItHasGone) {
    start(0x40);
    // Named high, so that the unit's node sorts after the one plugged in below.
    const QString unitNode = devices.filePath(QStringLiteral("ttyUSB901"));
    const QString otherNode = devices.filePath(QStringLiteral("ttyUSB900"));
    ASSERT_TRUE(QFile::rename(devices.filePath(QStringLiteral("ttyUSB0")), unitNode));
    load("revector16.dff");
    auto* list = child<QComboBox>("SerialCommPort");
    ASSERT_EQ(list->count(), 1);
    ASSERT_EQ(list->currentText(), "Com 1");

    // Another adapter appears before Upload and is now the first device of all.
    bootsim::Options options;
    options.identification = 0x40;
    bootsim::Simulator other(options);
    QString error;
    ASSERT_TRUE(other.start(&error)) << error.toStdString();
    ASSERT_TRUE(QFile::link(other.slavePath(), otherNode));
    prompts.answers.push_back(true);
    clickUpdate();
    EXPECT_EQ(messageTexts(),
              QStringList({"PIC16F876A/877A flashed with firmware v1.4.12 successfully."}));
    EXPECT_EQ(sim->frames().size(), 2u);
    EXPECT_TRUE(other.received().isEmpty());

    // The listed device goes: the technician is told, and the list shows what is there now.
    ASSERT_TRUE(QFile::remove(unitNode));
    prompts.messages.clear();
    clickUpdate();
    EXPECT_EQ(messageTexts(),
              QStringList({"Unable to connect on select COM port.  The port may be in use."}));
    EXPECT_EQ(sim->hellos(), 1);
    EXPECT_TRUE(other.received().isEmpty());
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->itemData(0, Qt::ToolTipRole).toString(), otherNode);
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 1.4.12 to TORV5");

    // The chosen unit is not in the list any more, so nothing is selected: the next click must
    // not flash the other adapter's unit in its place.
    EXPECT_EQ(list->currentIndex(), -1);
    prompts.messages.clear();
    prompts.answers.push_back(true);
    clickUpdate();
    EXPECT_EQ(messageTexts(), QStringList({"Please select a COM port from the list."}));
    EXPECT_TRUE(other.received().isEmpty());
}

TEST_F(UpdateFlow, EepromDataAbove255IsRefusedAtLoadBeforeAnyUnitIsCalled) {
    start(0x40);
    const DFFHeader header = DFFHeader::Of(QStringLiteral("TORV5"), 1, 4, 0, 12);
    const QByteArray hex = IntelHexRecord(0, 0, QByteArray(16, '\x11')) + "\r\n" +
                           IntelHexRecord(4, 0, QByteArray("\x00\xF0", 2)) + "\r\n" +
                           IntelHexRecord(0, 0xFF, QByteArray("\x01\x02\x03", 3)) + "\r\n" +
                           ":00000001FF\r\n";
    QTemporaryDir work;
    QFile body(work.filePath(QStringLiteral("body.hex")));
    ASSERT_TRUE(body.open(QIODevice::WriteOnly));
    body.write(hex);
    body.close();
    const QString package = work.filePath(QStringLiteral("eeprom100.dff"));
    fakes::RecordingLog buildLog;
    ASSERT_TRUE(EncodeFile(body.fileName(), package, PackageKey(header, KeyParts::Three), header,
                           nullptr, buildLog));

    dialogs.choose(package);
    prompts.answers.push_back(true);
    clickUpdate();
    EXPECT_EQ(updateButton()->text(), "Unable to load. Click to try again.");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].icon, Icon::Error);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("EEPROM address '0x100' cannot be written by "
                                                    "the unit's bootloader"))
        << prompts.messages[0].text.toStdString();
    EXPECT_FALSE(firmware.isLoaded());

    dialogs.cancel();
    clickUpdate();
    EXPECT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(sim->hellos(), 0);
    EXPECT_TRUE(sim->received().isEmpty());
}

TEST_F(UpdateFlow, FlashingWithNoPortSelectedOnlyAsksForOne) {
    start(0x40);
    load("revector16.dff");
    child<QComboBox>("SerialCommPort")->setCurrentIndex(-1);
    clickUpdate();
    EXPECT_EQ(messageTexts(), QStringList({"Please select a COM port from the list."}));
    EXPECT_EQ(prompts.questions.size(), 1u); // only the load's question
    EXPECT_EQ(sim->hellos(), 0);
    EXPECT_TRUE(firmware.isLoaded());
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 1.4.12 to TORV5");
}

TEST_F(UpdateFlow, ABusyPortIsReportedAndNothingIsSent) {
    start(0x40);
    load("revector16.dff");
    QtSerialPort other(devices.path());
    other.setCommPort(1);
    other.open();
    ASSERT_TRUE(other.isOpen());
    clickUpdate();
    EXPECT_EQ(messageTexts(),
              QStringList({"Unable to connect on select COM port.  The port may be in use."}));
    EXPECT_EQ(sim->hellos(), 0);
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
}

TEST_F(UpdateFlow, AWrongUnitIsRefusedTheBundleUnloadedAndTheNextClickBrowses) {
    start(0x04); // an Orbel-8 answers a TORV5 package
    load("revector16.dff");
    prompts.answers.push_back(true);
    clickUpdate();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Incorrect DFF file for connected unit.");
    EXPECT_TRUE(prompts.messages[0].text.startsWith(
        "Connected to : \r\n\t\tOrbel-8\r\n\t\tPIC18F2620/4620\r\n"));
    EXPECT_TRUE(sim->frames().empty());
    EXPECT_FALSE(firmware.isLoaded());
    EXPECT_FALSE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_EQ(updateButton()->text(), "Browse for DFF file");

    dialogs.cancel();
    clickUpdate();
    EXPECT_EQ(dialogs.requests.size(), 2u);
}

TEST_F(UpdateFlow, ANetworkPackageAfterASerialOneShowsItsPanelInTheSamePlaceAndBack) {
    start(0x40);
    load("revector16.dff");
    EXPECT_TRUE(child<QWidget>("picSerMedium")->isVisible());
    firmware.releaseImages(); // as after a refusal: the next click browses
    load("twopart_2.10.dff");
    EXPECT_EQ(updateButton()->text(), "Upload firmware ver. 2.10.7 to VeskarPlus2");
    EXPECT_FALSE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_TRUE(child<QWidget>("picEthMedium")->isVisible());
    EXPECT_EQ(child<QWidget>("picEthMedium")->geometry(),
              child<QWidget>("picSerMedium")->geometry());
    firmware.releaseImages();
    load("eeprom_f0.dff");
    EXPECT_TRUE(child<QWidget>("picSerMedium")->isVisible());
    EXPECT_FALSE(child<QWidget>("picEthMedium")->isVisible());
}

// The fault matrix (README, Troubleshooting): the unit, its port, the server or the log fails
// under the technician's hands. Each ends with a message, never a success, and a window that
// can be used again.

QString ErrorLogText(const QTemporaryDir& folder) {
    return QString::fromLatin1(ReadAll(folder.filePath(QStringLiteral("ErrorLog.txt"))));
}

TEST_F(UpdateFlow, FaultASerialUnitUnpluggedMidFlashFailsAndGivesTheWindowBack) {
    bootsim::Options unit;
    unit.identification = 0x40;
    unit.unplugAtFrame = 4; // the fifth of the package's 17 frames
    start(unit);
    load("sparse17.dff");
    prompts.answers.push_back(true); // flash another unit: yes
    clickUpdate();

    EXPECT_TRUE(sim->unplugged());
    EXPECT_EQ(sim->frames().size(), 5u);
    EXPECT_EQ(messageTexts(), QStringList({"Flash Data Error."}));
    EXPECT_EQ(prompts.questions.size(), 2u);
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(updateButton()->isEnabled());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_FALSE(serial->isOpen());
    EXPECT_TRUE(ErrorLogText(programFolder).contains("in procedure SendPacket of Module modFW"))
        << ErrorLogText(programFolder).toStdString();
}

// The unit's adapter pulled between the load and the click.
void Unplug(bootsim::Simulator& sim, const QTemporaryDir& devices) {
    sim.stop();
    QFile::remove(devices.filePath(QStringLiteral("ttyUSB0")));
}

TEST_F(UpdateFlow, FaultAPortGoneBeforeUploadIsReportedAndTheWindowGivenBack) {
    start(0x40);
    load("revector16.dff");
    Unplug(*sim, devices);
    clickUpdate();

    EXPECT_EQ(messageTexts(),
              QStringList({"Unable to connect on select COM port.  The port may be in use."}));
    EXPECT_EQ(prompts.questions.size(), 1u) << "no offer to flash another unit";
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_TRUE(firmware.isLoaded());
    EXPECT_TRUE(ErrorLogText(programFolder).contains("in procedure cmdUpdate_Click of Form"))
        << ErrorLogText(programFolder).toStdString();
}

TEST_F(UpdateFlow, FaultAnUnwritableLogLosesItsRecordsAndNothingElse) {
    ASSERT_TRUE(QDir(programFolder.path()).mkdir(QStringLiteral("ErrorLog.txt")));
    start(0x40);
    load("revector16.dff");
    Unplug(*sim, devices);
    clickUpdate();

    EXPECT_EQ(messageTexts(),
              QStringList({"Unable to connect on select COM port.  The port may be in use."}));
    EXPECT_TRUE(updateButton()->isVisible());
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_TRUE(QDir(programFolder.filePath(QStringLiteral("ErrorLog.txt"))).isEmpty());
}

TEST_F(UpdateFlow, FaultATftpServerKilledMidTransferEndsInTheTimeOut) {
    quorvex::testing::TftpdServer server;
    ASSERT_TRUE(quorvex::testing::TftpdServer::Installed())
        << "tftpd-hpa is not installed (scripts/test installs it)";
    ASSERT_EQ(server.start(), QString());
    // Large enough that the transfer is still running when the server dies.
    QTemporaryDir packages;
    const DFFHeader header = DFFHeader::Of(QStringLiteral("NYX2"), 2, 10, NetworkChipId, 3);
    const QString body = packages.filePath(QStringLiteral("body.bin"));
    const QString package = packages.filePath(QStringLiteral("large.dff"));
    constexpr qint64 ImageSize = 16 * 1024 * 1024;
    {
        QFile f(body);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (qint64 at = 0; at < ImageSize; at += 4096)
            f.write(QByteArray(4096, char(at / 4096)));
    }
    fakes::RecordingLog buildLog;
    ASSERT_TRUE(EncodeFile(body, package, PackageKey(header), header, nullptr, buildLog));
    start(0x40, server.port());
    dialogs.choose(package);
    prompts.answers.push_back(true);
    clickUpdate();
    ASSERT_TRUE(firmware.isLoaded());

    clickUpdate();
    const QString received = server.pathOf(QStringLiteral("NYX2"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(received).size() > 64 * 1024, 10000);
    server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(updateButton()->isVisible(), 12000);

    EXPECT_EQ(status(), "Status: Timed out (7 seconds).  Try 192.168.X.200?");
    EXPECT_LT(QFileInfo(received).size(), ImageSize);
    EXPECT_TRUE(child<QWidget>("cmdExit")->isEnabled());
    EXPECT_TRUE(firmware.isLoaded()) << "the next click uploads again";
    EXPECT_FALSE(socket.isOpen());
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
