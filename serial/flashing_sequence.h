#pragma once
// One serial flashing attempt: call the unit's bootloader with hellos while the technician
// resets it, identify the unit by its answer, refuse a package that does not fit, otherwise
// transfer the firmware and report the outcome.
#include "flow/session.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quorvex {

namespace Hello {
inline constexpr char Byte = char(0xC1);
inline constexpr int Attempts = 10;
inline constexpr int PauseAfterSilenceMs = 500;
inline constexpr int AnswerLength = 2;
inline const QString RefusalCaption = QStringLiteral("Incorrect DFF file for connected unit.");
} // namespace Hello

enum class SerialFlashOutcome { Flashed, TransferFailed, Refused, NotReset };

// Exactly two bytes, one of them "K" or "k".
bool IsHelloAnswer(const QByteArray& response);
// "Please reset the unit... (N seconds)", N = attempts left.
QString CountdownText(int attempt);
// The ten lines that tell why a package does not fit the connected unit.
QString RefusalText(const QString& unit, const QString& chip, const QString& package);

// The caller has opened the port and keeps it; the result only helps tests.
SerialFlashOutcome LoadAndSendFirmwareSer(Session& s);

} // namespace quorvex
