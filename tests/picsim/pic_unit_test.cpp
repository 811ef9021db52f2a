// The demo application flashed into a PIC16F877A that gpsim simulates instruction by
// instruction, running our bootloader, at 9600 baud in real time: through quorvex-cli and
// through the window. The unit's memory afterwards is compared with the package, and the unit,
// reset, must run what it was given.
#include "cli/cli_run.h"
#include "net/system_udp_socket.h"
#include "package/intel_hex.h"
#include "picsim/unit.h"
#include "serial/packet_exchange.h"
#include "serial/qt_serial_port.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "support/test_files.h"
#include "ui/frm_fw_updater.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace quorvex {
namespace {

using picsim::Dumps;
using picsim::Unit;
using quorvex::testing::Cli;
using quorvex::testing::CliRun;

const QByteArray Greeting = "TORV5 demo 1.0 running\r\n";
// The unit listens for about two seconds after a reset before it starts the application.
constexpr int GreetingMs = 15000;

QString Pack(const QString& hex, const QString& product, const QString& chip, const QString& out) {
    const CliRun r =
        Cli({"pack", "--product", product, "--chip", chip, "--version", "1.0.0", hex, out});
    return r.status == 0 ? QString() : r.err;
}

// The demo's program image as a package carries it: re-vectored, 0xFF where it has no data.
QByteArray DemoImage() {
    return ReadIntelHex(quorvex::testing::ReadAll(picsim::DemoHexPath())).program;
}

int Word(const QByteArray& bytes, int word) {
    return std::uint8_t(bytes.at(2 * word)) | std::uint8_t(bytes.at(2 * word + 1)) << 8;
}

// The unit's program memory holds `image` below the bootloader and the bootloader, unchanged,
// above it. Words are compared in their 14 bits: a blank 0xFFFF is the erased 0x3FFF (the
// simulator keeps all 16 bits a word was written with).
void ExpectMemory(const Dumps& dumps, const QByteArray& image) {
    ASSERT_EQ(dumps.program.size(), 2 * picsim::ProgramWords);
    ASSERT_EQ(image.size(), 2 * picsim::BootloaderStart);
    int differing = 0;
    for (int w = 0; w < picsim::BootloaderStart; ++w) {
        if ((Word(dumps.program, w) & 0x3FFF) != (Word(image, w) & 0x3FFF) && differing++ < 5)
            ADD_FAILURE() << "word 0x" << std::hex << w << ": unit 0x" << Word(dumps.program, w)
                          << ", package 0x" << Word(image, w);
    }
    EXPECT_EQ(differing, 0);
    const QByteArray bootloader =
        picsim::ReadHexBytes(picsim::BootloaderHexPath(), 2 * picsim::ProgramWords, char(0xFF));
    ASSERT_FALSE(bootloader.isEmpty());
    EXPECT_EQ(dumps.program.mid(2 * picsim::BootloaderStart),
              bootloader.mid(2 * picsim::BootloaderStart))
        << "the bootloader's own area changed";
}

TEST(PicUnit, TheCliRefusesAnotherProductsPackageThenFlashesTheDemoWhichRunsAfterAReset) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString demo = dir.filePath(QStringLiteral("demo.dff"));
    const QString other = dir.filePath(QStringLiteral("other.dff"));
    ASSERT_EQ(Pack(picsim::DemoHexPath(), "TORV5", "0", demo), QString());
    ASSERT_EQ(Pack(picsim::DemoHexPath(), "QM571", "2", other), QString());

    Unit unit(dir.filePath(QStringLiteral("ttyUSB0")));
    QString error;
    ASSERT_TRUE(unit.start(&error)) << error.toStdString();

    CliRun r = Cli({"flash", other, "--port", unit.link(), "--wait", "5"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("Please obtain correct firmware for TORV5 with PIC16F876A/877A chip.")))
        << r.out.toStdString() << r.err.toStdString();

    r = Cli({"flash", demo, "--port", unit.link(), "--wait", "5"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("PIC16F876A/877A flashed with firmware v1.0.0 successfully.")))
        << r.out.toStdString();

    unit.pressReset();
    EXPECT_TRUE(picsim::ReadLink(unit.link(), Greeting, GreetingMs).contains(Greeting));

    Dumps dumps;
    ASSERT_TRUE(unit.stop(&dumps, &error)) << error.toStdString();
    ExpectMemory(dumps, DemoImage());
}

QByteArray Framed(QByteArray packet, int checksumError = 0) {
    std::uint8_t sum = 0;
    for (char b : packet)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return packet.append(char(std::uint8_t(0x100 - sum + checksumError)));
}

QByteArray FlashBlock(int wordAddress, char fill) {
    return QByteArray(1, char(wordAddress >> 8)) + char(wordAddress & 0xFF) + char(0x40) +
           QByteArray(64, fill);
}

// What a bad frame draws, free-running: the unit's answers come faster than in real time.
TEST(PicUnit, TheBootloaderRefusesAWrongChecksumAndBlocksReachingIntoItselfAndWritesNothing) {
    QTemporaryDir devices;
    Unit unit(devices.filePath(QStringLiteral("ttyUSB0")), /*freeRunning=*/true);
    QString error;
    ASSERT_TRUE(unit.start(&error)) << error.toStdString();
    QtSerialPort port(devices.path());
    port.setSettings(QStringLiteral("9600,n,8,1"));
    port.setCommPort(1);
    port.open();
    ASSERT_TRUE(port.isOpen());
    const auto exchange = [&](const QByteArray& bytes) {
        SendRaw(port, bytes);
        return GetResponse(port);
    };
    ASSERT_EQ(exchange(QByteArray(1, char(0xC1))), QByteArray("\x40K"));
    EXPECT_EQ(exchange(Framed(FlashBlock(0x0020, 0x12), 1)), "N");
    EXPECT_EQ(exchange(Framed(QByteArray::fromHex("4005015A"), 0xFF)), "N");
    EXPECT_EQ(exchange(Framed(FlashBlock(picsim::BootloaderStart, 0))), "N");
    EXPECT_EQ(exchange(Framed(FlashBlock(picsim::BootloaderStart - 31, 0))), "N");
    // The highest block an application has is taken.
    EXPECT_EQ(exchange(Framed(FlashBlock(picsim::BootloaderStart - 32, 0x00))), "K");
    port.close();

    Dumps dumps;
    ASSERT_TRUE(unit.stop(&dumps, &error)) << error.toStdString();
    QByteArray unwritten =
        picsim::ReadHexBytes(picsim::BootloaderHexPath(), 2 * picsim::ProgramWords, char(0xFF));
    ASSERT_FALSE(unwritten.isEmpty());
    // Erased words read 0x3FFF; the accepted block holds zeros.
    for (int w = 3; w < picsim::BootloaderStart; ++w) {
        unwritten[2 * w] = char(0xFF);
        unwritten[2 * w + 1] = char(0x3F);
    }
    unwritten.replace(2 * (picsim::BootloaderStart - 32), 64, QByteArray(64, 0));
    EXPECT_EQ(dumps.program, unwritten);
    EXPECT_EQ(dumps.eeprom.at(5), 0) << "the EEPROM byte with the wrong checksum was written";
}

// The demo with EEPROM data, flashed through the window as a technician would.
TEST(PicUnit, TheWindowFlashesProgramAndEepromAndTheUnitRunsTheDemoAfterAReset) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray hex = quorvex::testing::ReadAll(picsim::DemoHexPath());
    const qsizetype end = hex.indexOf(":00000001FF");
    ASSERT_GT(end, 0);
    QByteArray eeprom;
    eeprom += IntelHexRecord(4, 0, QByteArray::fromHex("00F0")) + "\r\n";
    eeprom += IntelHexRecord(0, 0x10, QByteArray("calibration\x01\x02", 13)) + "\r\n";
    eeprom += IntelHexRecord(0, 0xFF, QByteArray(1, char(0xA5))) + "\r\n";
    hex.insert(end, eeprom);
    const QString hexPath = dir.filePath(QStringLiteral("demo-eeprom.hex"));
    {
        QFile f(hexPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        ASSERT_EQ(f.write(hex), hex.size());
    }
    const QString package = dir.filePath(QStringLiteral("demo-eeprom.dff"));
    ASSERT_EQ(Pack(hexPath, "TORV5", "0", package), QString());

    QTemporaryDir devices;
    Unit unit(devices.filePath(QStringLiteral("ttyUSB0")));
    QString error;
    ASSERT_TRUE(unit.start(&error)) << error.toStdString();

    QTemporaryDir programFolder;
    LoadedFirmware firmware;
    fakes::ScriptedPrompts prompts;
    fakes::ScriptedDialogs dialogs;
    fakes::TableResolver resolver;
    SystemUdpSocket socket{resolver};
    QtSerialPort serial(devices.path());
    FrmFWUpdater form(FormDeps{firmware, prompts, serial, socket, dialogs, programFolder.path()});
    form.show();
    auto* button = form.findChild<QPushButton*>(QStringLiteral("cmdUpdate"));
    ASSERT_NE(button, nullptr);

    dialogs.choose(package);
    prompts.answers.push_back(true); // this package: yes
    QTest::mouseClick(button, Qt::LeftButton);
    // The package is decoded on the window's worker.
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return !form.working(); }, 30000));
    ASSERT_TRUE(firmware.isLoaded());
    const QByteArray image = firmware.ProgramImage;
    const QByteArray eepromImage = firmware.EepromImage;
    const QByteArray present = firmware.EepromPresent;

    prompts.answers.push_back(false); // another unit: no
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return !form.isVisible(); }, 60000));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "PIC16F876A/877A flashed with firmware v1.0.0 successfully.");

    unit.pressReset();
    EXPECT_TRUE(picsim::ReadLink(unit.link(), Greeting, GreetingMs).contains(Greeting));

    Dumps dumps;
    ASSERT_TRUE(unit.stop(&dumps, &error)) << error.toStdString();
    ExpectMemory(dumps, image);
    ASSERT_EQ(dumps.eeprom.size(), 256);
    int written = 0;
    for (int a = 0; a < present.size(); ++a) {
        if (!present.at(a))
            continue;
        ++written;
        EXPECT_EQ(dumps.eeprom.at(a), eepromImage.at(a)) << "EEPROM address " << a;
    }
    EXPECT_EQ(written, 14);
    EXPECT_EQ(dumps.eeprom.mid(0x10, 11), QByteArray("calibration"));
}

} // namespace
} // namespace quorvex
