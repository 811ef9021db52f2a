#include "package/keystream.h"

#include <charconv>
#include <limits>

namespace quorvex {

QByteArray DigestBlock(QByteArrayView text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Md5);
}

QByteArray XorText(const QByteArray& data, const QByteArray& mask) {
    if (data.size() != mask.size())
        return {};
    QByteArray out(data.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        out[i] = char(data.at(i) ^ mask.at(i));
    return out;
}

std::optional<QByteArray> CounterText(std::int64_t counter) {
    if (counter < std::numeric_limits<std::int32_t>::min() ||
        counter > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, counter).ptr;
    return QByteArray(buf, end - buf);
}

std::optional<std::int32_t> BlockCounter(std::int32_t seed, std::int64_t block) {
    const std::int64_t c = std::int64_t(~seed) + block;
    if (c < std::numeric_limits<std::int32_t>::min() ||
        c > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(c);
}

Keystream::Keystream(QByteArrayView key) : prefix_(key.toByteArray() + '?') {}

QByteArrayView Keystream::mask(std::int32_t counter) {
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, counter).ptr;
    hash_.reset();
    hash_.addData(prefix_);
    hash_.addData(QByteArrayView(buf, end - buf));
    return hash_.resultView();
}

} // namespace quorvex
