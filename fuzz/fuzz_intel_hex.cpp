// The Intel HEX reader on arbitrary text: whatever the body holds, the images keep their
// shapes, and only an end record with no fault before it loads.
#include "fuzz_support.h"
#include "package/intel_hex.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

using namespace quorvex;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::StartApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const HexImages images = ReadIntelHex(text);

    FUZZ_EXPECT(images.program.size() == ProgramImageSize);
    FUZZ_EXPECT(images.eeprom.size() >= 1);
    FUZZ_EXPECT(images.eeprom.size() == images.eepromPresent.size());
    FUZZ_EXPECT(images.config.size() >= 1);
    for (char flag : images.eepromPresent)
        FUZZ_EXPECT(flag == 0 || flag == 1);
    if (images.ok) {
        FUZZ_EXPECT(images.message.isEmpty());
        FUZZ_EXPECT(images.programEnd >= 0 && images.programEnd <= ProgramImageSize);
        // The bootloader's jump is at the reset vector of every serial image that loads.
        FUZZ_EXPECT(images.program.left(6) == QByteArray::fromHex("1f308a00a02f"));
        FUZZ_EXPECT(images.program.mid(ProgramImageSize - 8, 2) == QByteArray::fromHex("8a01"));
    }
    // A text without a colon holds no record, so nothing in it can load.
    if (!text.contains(':'))
        FUZZ_EXPECT(!images.ok);
    return 0;
}
