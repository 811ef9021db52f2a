#pragma once
// Builds Intel HEX records with correct checksums, for the reader's tests.
#include <QByteArray>
#include <initializer_list>

namespace quorvex::testing {

inline QByteArray HexRecord(int type, int address, const QByteArray& data) {
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char b : bytes)
        sum += std::uint8_t(b);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return ':' + bytes.toHex().toUpper();
}

inline QByteArray Data(int address, const QByteArray& data) {
    return HexRecord(0, address, data);
}
inline QByteArray Upper(int upper) {
    return HexRecord(4, 0,
                     QByteArray::fromHex(QByteArray::number(upper, 16).rightJustified(4, '0')));
}
inline QByteArray EndRecord() {
    return QByteArrayLiteral(":00000001FF");
}

inline QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

inline QByteArray Lines(std::initializer_list<QByteArray> lines,
                        const QByteArray& ending = "\r\n") {
    QByteArray out;
    for (const auto& l : lines)
        out += l + ending;
    return out;
}

} // namespace quorvex::testing
