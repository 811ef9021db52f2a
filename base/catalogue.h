#pragma once
// Fixed knowledge of the product family: products, chips, line settings, socket error texts.
#include "base/loaded_firmware.h"

#include <QString>
#include <optional>

namespace quorvex {

inline constexpr int NetworkChipId = 8;

QString ChipModelName(int chipId);
// Empty for a unit id without a product.
QString UnitIdToCode(int unitId);
// Compared in upper case; a code the table lacks gives 0.
int CodeToUnitId(const QString& code);
// Exact match (case and spaces count); any other code gives an empty text.
QString ProductDisplayName(const QString& code);
// Exact match on the trimmed code; none for products without settings of their own.
std::optional<QString> SerialSettingsOf(const QString& code);
// The chip the maker panel proposes for a unit id; none for an id without a product.
std::optional<int> ProposedChipOf(int unitId);
QString WinsockErrorText(int number);
// True when the loaded package's chip is the Ethernet part.
inline bool IsNetworkUnit(const LoadedFirmware& fw) {
    return fw.Header.ChipId == NetworkChipId;
}

} // namespace quorvex
