#include "base/failure.h"
#include "net/tftp_packets.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::tftp;

TEST(TftpPackets, TheWriteRequestForNyx2IsThirteenBytesInOctetMode) {
    EXPECT_EQ(Wrq(QStringLiteral("NYX2")), QByteArray::fromHex("0002"
                                                               "4e595832"
                                                               "00"
                                                               "6f63746574"
                                                               "00"));
}

TEST(TftpPackets, DataCarriesItsBlockNumberBigEndianBeforeTheBytes) {
    EXPECT_EQ(Data(1, "ab"), QByteArray::fromHex("00030001"
                                                 "6162"));
    EXPECT_EQ(Data(0x1234, {}), QByteArray::fromHex("00031234"));
    EXPECT_EQ(Data(65535, "x"), QByteArray::fromHex("0003ffff"
                                                    "78"));
}

TEST(TftpPackets, FieldsReadBigEndianAndAMissingFieldIsFailure9) {
    EXPECT_EQ(Field(QByteArray::fromHex("0004ff01"), NumberAt), 0xff01);
    EXPECT_EQ(Field(QByteArray::fromHex("0004ff01"), OpcodeAt), OpAck);
    try {
        Field(QByteArray::fromHex("000400"), NumberAt);
        ADD_FAILURE() << "read a field past the end";
    } catch (const FailureError& e) {
        EXPECT_EQ(e.failure().number, FailureNo::SubscriptOutOfRange);
    }
}

TEST(TftpPackets, TheErrorTextStopsBeforeTheLastByte) {
    EXPECT_EQ(ErrorMessage(Error(1, "no room")), QStringLiteral("no room"));
    EXPECT_EQ(ErrorMessage(QByteArray::fromHex("00050001")), QString());
    EXPECT_EQ(ErrorMessage(QByteArray::fromHex("0005000100")), QString());
    // The last byte is taken for the terminator whatever it holds.
    EXPECT_EQ(ErrorMessage(QByteArray::fromHex("00050001") + "abc"), QStringLiteral("ab"));
}

TEST(TftpPackets, ErrorCodesAreNamedAndCodesPast7AreUnknown) {
    const QStringList expected{"Not defined",
                               "File not found",
                               "Access violation",
                               "Disk full or allocation exceeded",
                               "Illegal TFTP operation",
                               "Unknown transfer ID",
                               "File already exists",
                               "No such user"};
    EXPECT_EQ(TftpErrorNames(), expected);
    EXPECT_EQ(TftpErrorName(1), QStringLiteral("File not found"));
    EXPECT_EQ(TftpErrorName(8), QStringLiteral("Unknown error"));
    EXPECT_EQ(TftpErrorName(65535), QStringLiteral("Unknown error"));
}
