#pragma once
// The Intel HEX body of a serial package, read into the images the bootloader is sent:
// program memory, EEPROM bytes with their present flags, and configuration bytes. Pure: no
// window, no files of its own, so tools can reuse it.
//
// Every line must be a whole record: ":", then hexadecimal digits only, as many data bytes
// as the byte count says, and a checksum that brings the sum of the record's bytes to zero.
// For such a record the fields sit at fixed character positions (count 2-3, address 4-7,
// type 8-9, data from 10), which is where they are read. A line that is not such a record
// stops the reading with a message naming its line; blank lines are skipped. A line ends at
// CR, LF or CR LF.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdint>

namespace quorvex {

// Bytes of program memory below the bootloader.
inline constexpr int ProgramImageSize = 16192;

struct HexImages {
    QByteArray program;       // ProgramImageSize bytes, 0xFF where no record wrote
    QByteArray eeprom;        // grown as records reach further; at least one byte
    QByteArray eepromPresent; // 1 where a record wrote the EEPROM byte, else 0
    QByteArray config;        // grown as records reach further; at least one byte
    // Address plus count of the last program record before the end record.
    std::int32_t programEnd = 0;
    // True when the end-of-file record was reached without a fault.
    bool ok = false;
    // For the person at the bench: an address past the program memory, or a damaged
    // record. Empty when there is nothing to tell (a body without an end record included).
    QString message;
};

HexImages ReadIntelHex(QIODevice& body);
HexImages ReadIntelHex(const QByteArray& body);

// Puts the bootloader's jump at the reset vector and moves the application's first three
// instruction words to the top of the image, behind a CLRF PCLATH.
void Revector(QByteArray& program);

// The highest EEPROM address the unit's bootloader can write: its packet names the address in
// one byte.
inline constexpr int HighestWritableEepromAddress = 0xFF;
// The first address the images give an EEPROM byte for that the bootloader cannot write, or
// -1 when there is none.
int FirstUnwritableEepromAddress(const QByteArray& eepromPresent);
// Refuses such a package at load, before any unit is asked to reset for it.
QString UnwritableEepromMessage(int address);

// "Address '0x1F9F' is invalid ...": the record's start as a word address.
QString AddressMessage(int byteAddress);
// One record as a line (no line end): ":", count, address, type, data, checksum, in upper-case
// hexadecimal. For the tools and tests that write firmware files.
QByteArray IntelHexRecord(int type, int address, const QByteArray& data);
QString DamagedRecordMessage(int lineNumber);

} // namespace quorvex
