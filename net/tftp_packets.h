#pragma once
// TFTP datagrams as a network unit's loader takes them (RFC 1350, "octet" mode), and the two
// reboot requests that precede the write. Two-byte fields are big-endian.
#include "base/catalogue.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace quorvex::tftp {

inline constexpr int DefaultServerPort = 69;

// Opcodes: the first two bytes of every TFTP datagram.
inline constexpr int OpWrq = 2;
inline constexpr int OpData = 3;
inline constexpr int OpAck = 4;
inline constexpr int OpError = 5;

// A DATA block carries at most this many bytes; a shorter one (even empty) ends the file.
inline constexpr int BlockSize = 512;
// The DATA blocks an image of `size` bytes makes: its whole blocks, then one short block,
// empty when the size is a whole number of blocks.
inline constexpr qint64 BlockCount(qint64 size) {
    return size / BlockSize + 1;
}
// The block number field is two bytes wide.
inline constexpr int LastBlockNumber = 65535;
// The largest image whose final (short) block still has a number.
inline constexpr qint64 MaxImageSize = qint64(LastBlockNumber - 1) * BlockSize + (BlockSize - 1);
static_assert(MaxImageSize == MaxNetworkImageSize, "the load refuses what no upload can carry");

inline constexpr char RebootRequest1[] = "remotebootl";
inline constexpr char RebootRequest2[] = "remotereboot";
inline constexpr char OctetMode[] = "octet";

// Byte offsets within a datagram.
inline constexpr int OpcodeAt = 0;
inline constexpr int NumberAt = 2; // block number of DATA and ACK, error code of ERROR
inline constexpr int PayloadAt = 4;

QByteArray Wrq(const QString& fileName);
QByteArray Data(int block, const QByteArray& chunk);
QByteArray Ack(int block);
QByteArray Error(int code, const QByteArray& message);

// The two-byte field at `at`; a datagram too short to hold it is failure 9.
int Field(const QByteArray& datagram, int at);
// An ERROR packet's text: from byte 4 up to, not including, the last byte (its 00).
QString ErrorMessage(const QByteArray& datagram);

// Names of the error codes 0 to 7.
const QStringList& TftpErrorNames();
// The name of any code; codes without one are "Unknown error".
QString TftpErrorName(int code);

} // namespace quorvex::tftp
