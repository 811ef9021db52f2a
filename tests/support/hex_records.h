#pragma once
// Builds Intel HEX records with correct checksums, for the reader's tests.
#include "package/intel_hex.h"

#include <QByteArray>
#include <initializer_list>

namespace quorvex::testing {

inline QByteArray HexRecord(int type, int address, const QByteArray& data) {
    return IntelHexRecord(type, address, data);
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
