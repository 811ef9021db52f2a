// Packages read by the package reader flash into the simulated unit byte for byte.
#include "base/catalogue.h"
#include "link_rig.h"
#include "package/package_reader.h"
#include "serial/flashing_sequence.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <variant>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

constexpr int ImageBytes = 16192;
constexpr std::uint8_t Torv5WithChip0 = 0x40;

} // namespace

TEST(ReaderToUnit, PackagesFromTheReaderFlashIntoTheUnitByteForByte) {
    struct Row {
        const char* package;
        std::size_t flashFrames;
        std::size_t eepromFrames;
    };
    for (const Row& r : {Row{"sparse17.dff", 17, 0}, Row{"eeprom_f0.dff", 2, 2}}) {
        SCOPED_TRACE(r.package);
        bootsim::Options o;
        o.identification = Torv5WithChip0;
        LinkRig rig(o);
        ASSERT_TRUE(rig.ready) << rig.error.toStdString();
        const auto head = ReadPackageHeader(Fixture(r.package), rig.log);
        ASSERT_TRUE(std::holds_alternative<PackageHead>(head))
            << rig.log.records.join('\n').toStdString();
        const DFFHeader& header = std::get<PackageHead>(head).header;
        auto decoded = DecodePackage(Fixture(r.package), header, nullptr, rig.log);
        ASSERT_TRUE(std::holds_alternative<DecodedPackage>(decoded))
            << rig.log.records.join('\n').toStdString();
        rig.fw = std::move(std::get<DecodedPackage>(decoded).firmware);
        // The line settings of the package's product, as a front end sets them on opening it.
        if (const auto settings = SerialSettingsOf(header.trimmedCode()))
            rig.spy.setSettings(*settings);
        ASSERT_EQ(rig.fw.ProgramImage.size(), ImageBytes);

        EXPECT_EQ(CallUnitAndWriteFirmware(rig.link, rig.fw, rig.report).outcome,
                  SerialFlashOutcome::Flashed);
        EXPECT_EQ(rig.flashFrames().size(), r.flashFrames);
        EXPECT_EQ(rig.eepromFrames().size(), r.eepromFrames);
        EXPECT_EQ(rig.sim.flash().left(ImageBytes), rig.fw.ProgramImage);
        const QByteArray eeprom = rig.sim.eeprom();
        const QByteArray written = rig.sim.eepromWritten();
        for (int a = 0; a < rig.fw.EepromPresent.size(); ++a) {
            EXPECT_EQ(written.at(a) != 0, rig.fw.EepromPresent.at(a) != 0) << "address " << a;
            if (rig.fw.EepromPresent.at(a)) {
                EXPECT_EQ(eeprom.at(a), rig.fw.EepromImage.at(a)) << "address " << a;
            }
        }
        // However promptly the unit answers, nothing is lost and nothing is logged.
        const QStringList& failures = rig.log.records;
        EXPECT_TRUE(failures.isEmpty()) << failures.join('\n').toStdString();
    }
}
