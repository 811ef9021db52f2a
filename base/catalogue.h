#pragma once
// Fixed knowledge of the product family: products, chips, line settings, and the largest
// image a network unit can take.
#include "base/loaded_firmware.h"

#include <QString>
#include <optional>

namespace quorvex {

inline constexpr int NetworkChipId = 8;
// The largest image a TFTP write can carry: 65,535 numbered blocks of 512 bytes, the last of
// them short.
inline constexpr qint64 MaxNetworkImageSize = 65535LL * 512 - 1;

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
// True when the loaded package's chip is the Ethernet part.
inline bool IsNetworkUnit(const LoadedFirmware& fw) {
    return fw.Header.ChipId == NetworkChipId;
}

} // namespace quorvex
