#pragma once
// A package's firmware as a unit is given it: the header and the images. A front end holds the
// one it has loaded (the window one at a time, quorvex-cli one per command) and hands it to the
// use cases by reference.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace quorvex {

struct DFFHeader {
    static constexpr int Size = 18;
    std::array<char, 8> ProductCode{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    std::uint8_t VerMajor = 0;
    std::uint8_t VerMinor = 0;
    std::uint8_t ChipId = 0;
    std::uint8_t VerRevision = 0;
    std::array<std::uint8_t, 6> Reserved{};

    // A header for a product code and a version, the way the builder fills one.
    static DFFHeader Of(const QString& code, int major, int minor, int chipId, int revision);
    // The 18 bytes as stored at the start of a package, fields in order without gaps.
    QByteArray toBytes() const;
    // Reads the first 18 bytes of `bytes`; the caller makes sure there are that many.
    static DFFHeader fromBytes(const QByteArray& bytes);
    // Sets the code left-aligned in 8 characters: padded with spaces, cut when longer.
    void setProductCode(const QString& code);
    // The product code without surrounding blanks, as the catalogue is looked up.
    QString trimmedCode() const;
    // "1.4.12"
    QString versionText() const;
};

struct LoadedFirmware {
    DFFHeader Header;
    QByteArray ProgramImage;
    QByteArray EepromImage;
    QByteArray EepromPresent;
    QByteArray ConfigImage;
    std::int32_t ProgramEnd = 0;

    // A package counts as loaded while its program image holds elements.
    bool isLoaded() const { return !ProgramImage.isEmpty(); }
    // Empties the four arrays, so that no package counts as loaded; the header stays.
    void releaseImages();
};

} // namespace quorvex
