#pragma once
// One serial flashing attempt: call the unit's bootloader with hellos while the technician
// resets it, identify the unit by its answer, refuse a package that does not fit, otherwise
// transfer the firmware and report the outcome.
#include "base/loaded_firmware.h"
#include "serial/flash_report.h"
#include "serial/packet_exchange.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex {

namespace Hello {
inline constexpr char Byte = char(0xC1);
inline constexpr int Attempts = 10;
inline constexpr int PauseAfterSilenceMs = 500;
inline constexpr int AnswerLength = 2;
inline const QString RefusalCaption = QStringLiteral("Incorrect DFF file for connected unit.");
// The port's device went away while the unit was being called (an adapter unplugged).
inline const QString PortGoneText =
    QStringLiteral("The connection to the unit was lost while it was being called: its port has "
                   "gone (was the adapter unplugged?).  Nothing was written.  Plug it in again "
                   "and flash the unit again.");
} // namespace Hello

// TransferRejected: the unit answered a frame with "N". Interrupted: a stop was asked for
// through the link; nothing was told of it. PortGone: the port's device went away while the
// unit was being called.
enum class SerialFlashOutcome {
    Flashed,
    TransferFailed,
    TransferRejected,
    Refused,
    NotReset,
    Interrupted,
    PortGone
};

// Exactly two bytes, one of them "K" or "k".
bool IsHelloAnswer(const QByteArray& response);
// "Please reset the unit... (N seconds)", N = attempts left of `attempts`.
QString CountdownText(int attempt, int attempts = Hello::Attempts);
// The ten lines that tell why a package does not fit the connected unit.
QString RefusalText(const QString& unit, const QString& chip, const QString& package);

struct SerialFlashResult {
    SerialFlashOutcome outcome = SerialFlashOutcome::NotReset;
    // The byte the unit answered the hello with: its unit id and chip id.
    std::optional<std::uint8_t> identification;
    // Frames the unit accepted.
    int flashBlocks = 0;
    int eepromBytes = 0;
};

// Calls the unit while it is reset, checks its answer against the package and writes the
// flash blocks, then the EEPROM bytes. The caller has opened the port and keeps it. A package the
// unit refuses is reported; what follows for the loaded package is the caller's to decide.
// `helloAttempts` is the countdown's length in seconds, one hello each.
SerialFlashResult CallUnitAndWriteFirmware(const SerialLink& link, const LoadedFirmware& fw,
                                           FlashReport& report,
                                           int helloAttempts = Hello::Attempts);

} // namespace quorvex
