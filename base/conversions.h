#pragma once
// Small stateless helpers: paths, arrays, and taking numbers apart into nibbles and bytes.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quorvex {

// True when the length of the file at `path` can be read; false on any failure.
bool FileExists(const QString& path);
// Mode 1: the name without its extension; mode 2: the extension alone; other: the whole name.
// The separator is "/" when the path holds no "\" at all, else "\".
QString FileNamePart(const QString& path, int mode);
// Up to and including the last separator; empty when there is none.
QString FolderPart(const QString& path);
// The number a text starts with, as a person types it: blanks, a sign, digits, a fraction.
// A text that starts with none reads as 0.
double LeadingNumber(const QString& text);
inline bool IsArrayFilled(const QByteArray& a) {
    return !a.isEmpty();
}

inline std::uint8_t LowNibble(std::uint8_t b) {
    return b & 0x0F;
}
inline std::uint8_t HighNibble(std::uint8_t b) {
    return b >> 4;
}
// high * 16 + low; a sum above 255 is failure 6 (overflow).
std::uint8_t Nibbles2Byte(int low, int high);
inline std::uint8_t LowByte(std::int32_t v) {
    return std::uint8_t(v & 0xFF);
}
// Bits 8 to 15 for 0..65,535; outside, bits 8 to 14 with 0x80 set when any of bits 15..31 is.
std::uint8_t HighByte(std::int32_t v);
inline std::int32_t Bytes2Word(std::uint8_t high, std::uint8_t low) {
    return high * 256 + low;
}
inline std::int32_t Word2Long(std::int16_t w) {
    return w >= 0 ? w : w + 65536;
}

} // namespace quorvex
