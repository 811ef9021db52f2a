#pragma once
// Writes the loaded firmware into a unit whose bootloader has answered the hello: the flash
// image in 64-byte blocks (blank ones skipped), then each present EEPROM byte.
#include "base/loaded_firmware.h"
#include "serial/flash_report.h"
#include "serial/packet_exchange.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvex {

namespace Transfer {
inline constexpr int BlockSize = 64;
inline constexpr std::uint8_t BlankByte = 0xFF;
// The first byte of an EEPROM packet, and the data count of a flash block packet.
inline constexpr std::uint8_t EepromMarker = 0x40;
inline constexpr std::uint8_t FlashDataCount = 0x40;
inline constexpr std::uint8_t EepromDataCount = 0x01;
// An EEPROM address travels in one byte.
inline constexpr int HighestEepromAddress = 0xFF;

inline const QString FlashingText = QStringLiteral("Flashing firmware...");
inline const QString RejectedText =
    QStringLiteral("Corrupted/invalid data received, please reupload the firmware.");
inline const QString FlashSilentText = QStringLiteral("Flash Data Error.");
inline const QString EepromSilentText = QStringLiteral("Eeprom Data Error.");
// Every frame was accepted but a step failed on the way (the log says which): the unit's
// firmware cannot be vouched for.
inline const QString UnconfirmedText =
    QStringLiteral("The transfer could not be completed without errors (see ErrorLog.txt), so the "
                   "firmware in the unit cannot be trusted.  Please reupload the firmware.");
} // namespace Transfer

// Flash block packet: word address high byte, low byte, 0x40, the 64 bytes at `offset`.
// Bytes past the end of the image count as blank.
QByteArray FlashBlockPacket(const QByteArray& image, int offset);
bool IsBlankBlock(const QByteArray& image, int offset);
// EEPROM byte packet: 0x40, address, 0x01, value.
QByteArray EepromBytePacket(int address, std::uint8_t value);
// The present EEPROM addresses a packet cannot name (above 255), ascending.
QList<int> UnsendableEepromAddresses(const LoadedFirmware& fw);
// Text of the box that refuses a package holding such addresses.
QString EepromOutOfRangeText(const QList<int>& addresses);

// What a transfer wrote: the frames the unit accepted, and why it ended early.
struct TransferCount {
    int flashBlocks = 0;
    int eepromBytes = 0;
    // The unit answered a frame with "N".
    bool rejected = false;
    // A stop was asked for: no frame went out after it, and nothing was told.
    bool interrupted = false;
};

// The frames a transfer of `fw` sends when the unit accepts every one.
TransferCount FramesToSend(const LoadedFirmware& fw);

// True when every packet sent was accepted and no step failed along the way. `written`, when
// given, counts the frames accepted. A stop asked for through the link ends the transfer
// before its next frame, untold: whoever asked tells it.
bool SendFirmwareSer(const SerialLink& link, const LoadedFirmware& fw, FlashReport& report,
                     TransferCount* written = nullptr);

} // namespace quorvex
