#include "net/tftp_packets.h"

#include "base/conversions.h"
#include "base/failure.h"

namespace quorvex::tftp {

namespace {
void appendWord(QByteArray& out, int v) {
    out.append(char(HighByte(v)));
    out.append(char(LowByte(v)));
}

QByteArray header(int opcode, int number) {
    QByteArray out;
    appendWord(out, opcode);
    appendWord(out, number);
    return out;
}
} // namespace

QByteArray Wrq(const QString& fileName) {
    QByteArray out;
    appendWord(out, OpWrq);
    out.append(fileName.toLatin1());
    out.append('\0');
    out.append(OctetMode);
    out.append('\0');
    return out;
}

QByteArray Data(int block, const QByteArray& chunk) {
    return header(OpData, block) + chunk;
}

QByteArray Ack(int block) {
    return header(OpAck, block);
}

QByteArray Error(int code, const QByteArray& message) {
    QByteArray out = header(OpError, code) + message;
    out.append('\0');
    return out;
}

int Field(const QByteArray& datagram, int at) {
    if (datagram.size() < at + 2)
        Raise(FailureNo::SubscriptOutOfRange);
    return Bytes2Word(std::uint8_t(datagram.at(at)), std::uint8_t(datagram.at(at + 1)));
}

QString ErrorMessage(const QByteArray& datagram) {
    const qsizetype length = datagram.size() - 1 - PayloadAt;
    return length > 0 ? QString::fromLatin1(datagram.mid(PayloadAt, length)) : QString();
}

const QStringList& TftpErrorNames() {
    static const QStringList names =
        QStringLiteral(
            "Not defined,File not found,Access violation,Disk full or allocation exceeded,"
            "Illegal TFTP operation,Unknown transfer ID,File already exists,No such user")
            .split(QLatin1Char(','));
    return names;
}

QString TftpErrorName(int code) {
    const QStringList& names = TftpErrorNames();
    return code >= 0 && code < names.size() ? names.at(code) : QStringLiteral("Unknown error");
}

} // namespace quorvex::tftp
