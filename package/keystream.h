#pragma once
// The keystream under every package body: block k is combined with the MD5 digest of
// key + "?" + the decimal counter NOT(seed) + k. Counters are signed 32-bit numbers; a block
// whose counter would leave that range has no mask, and the caller treats it as a failure.
#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <cstdint>
#include <optional>

namespace quorvex {

inline constexpr int DigestSize = 16;

// MD5 of the text's bytes.
QByteArray DigestBlock(QByteArrayView text);
// Byte i is data[i] XOR mask[i]; empty when the lengths differ.
QByteArray XorText(const QByteArray& data, const QByteArray& mask);
// "-1", "0", "2147483647"; none outside the signed 32-bit range.
std::optional<QByteArray> CounterText(std::int64_t counter);
// NOT seed + block; none when that leaves the signed 32-bit range.
std::optional<std::int32_t> BlockCounter(std::int32_t seed, std::int64_t block);

// Digests of one key for many counters, without building a text or a hash object per block.
class Keystream {
  public:
    explicit Keystream(QByteArrayView key);
    // DigestBlock(key + "?" + counter text); valid until the next call.
    QByteArrayView mask(std::int32_t counter);

  private:
    QByteArray prefix_;
    QCryptographicHash hash_{QCryptographicHash::Md5};
};

} // namespace quorvex
