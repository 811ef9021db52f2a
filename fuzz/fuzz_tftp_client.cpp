// The TFTP transfer's handling of arbitrary datagrams after its write request. Whatever arrives,
// every DATA packet it sends carries the bytes of the image its block number stands for, never
// a block beyond the image, and a transfer that finished sent the whole image in order.
//
// Input: two bytes give the image's length (up to 4,999 bytes), then datagrams, each a length
// byte and that many bytes.
#include "base/catalogue.h"
#include "fuzz_support.h"
#include "net/tftp_packets.h"
#include "net/tftp_transfer.h"
#include "support/fake_bench.h"

#include <cstddef>
#include <cstdint>

using namespace quorvex;
using namespace quorvex::tftp;

namespace {

constexpr int MaxImage = 5000;

// The status line as the window shows it.
struct StatusReport : TftpReport {
    void status(const QString& text) override { last = text; }
    QString last;
};

QByteArray Image(int size) {
    QByteArray image(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + i / 512) & 0xFF);
    return image;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::StartApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    fakes::FakeBench s;
    s.fw.Header.setProductCode(QStringLiteral("NYX2"));
    s.fw.Header.ChipId = NetworkChipId;
    const QByteArray image = Image((data[0] | data[1] << 8) % MaxImage);
    s.fw.ProgramImage = image;
    StatusReport shown;
    TftpTransfer transfer(s.socket, s.log, shown, image, 7000, 60000);
    s.socket.open();
    transfer.SendWriteRequest(s.fw.Header.trimmedCode());
    FUZZ_EXPECT(transfer.inProgress());
    FUZZ_EXPECT(s.socket.sent.size() == 1);
    const std::size_t beforeData = s.socket.sent.size();

    std::size_t at = 2;
    while (at < size && transfer.inProgress()) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        transfer.TakeDatagram(
            QByteArray(reinterpret_cast<const char*>(data + at + 1), qsizetype(length)));
        at += 1 + length;
    }

    int lastBlock = 0;
    for (std::size_t i = beforeData; i < s.socket.sent.size(); ++i) {
        const QByteArray& d = s.socket.sent[i];
        FUZZ_EXPECT(d.size() >= PayloadAt);
        FUZZ_EXPECT(Field(d, OpcodeAt) == OpData);
        const int block = Field(d, NumberAt);
        // Each block follows the one before: no block is skipped, repeated or sent early.
        FUZZ_EXPECT(block == lastBlock + 1);
        lastBlock = block;
        const qsizetype from = qsizetype(block - 1) * BlockSize;
        FUZZ_EXPECT(from <= image.size());
        FUZZ_EXPECT(d.mid(PayloadAt) == image.mid(from, BlockSize));
    }
    if (shown.last == QLatin1String("Status: Finished.  Ready.")) {
        FUZZ_EXPECT(!transfer.inProgress());
        FUZZ_EXPECT(qsizetype(lastBlock) * BlockSize > image.size());
    }
    // However many datagrams were too short, one record tells of them.
    FUZZ_EXPECT(s.log.records.size() <= 1);
    return 0;
}
