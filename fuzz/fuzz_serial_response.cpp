// What the serial link makes of a unit's replies, on arbitrary bytes: the verdict on a frame
// and the answer to a hello, with the identification it names. The input is a run of replies,
// each a length byte and that many bytes.
#include "base/catalogue.h"
#include "fuzz_support.h"
#include "serial/flashing_sequence.h"
#include "serial/packet_exchange.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace quorvex;

namespace {

bool HoldsEither(const QByteArray& bytes, char upper, char lower) {
    return bytes.contains(upper) || bytes.contains(lower);
}

void Judge(const QByteArray& reply) {
    const Verdict verdict = VerdictOf(reply);
    // "N" wins over "K": a unit that rejects in any way has rejected. A unit accepts with one
    // byte, so a "K" among other bytes accepts nothing.
    if (HoldsEither(reply, 'N', 'n'))
        FUZZ_EXPECT(verdict == Verdict::Rejected);
    else if (reply.size() == 1 && HoldsEither(reply, 'K', 'k'))
        FUZZ_EXPECT(verdict == Verdict::Accepted);
    else
        FUZZ_EXPECT(verdict == Verdict::None);

    if (!IsHelloAnswer(reply))
        return;
    FUZZ_EXPECT(reply.size() == Hello::AnswerLength);
    const auto identification = std::uint8_t(reply.at(0));
    // Every identification byte names a unit and a chip, known or not, and a refusal can be
    // told for it.
    const QString unit = ProductDisplayName(UnitIdToCode(identification >> 4));
    const QString chip = ChipModelName(identification & 0x0F);
    const QString text = RefusalText(unit, chip, ProductDisplayName(QStringLiteral("TORV5")));
    FUZZ_EXPECT(text.endsWith(QLatin1String("Upload aborted.")));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::StartApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        Judge(QByteArray(reinterpret_cast<const char*>(data + at + 1), qsizetype(length)));
        at += 1 + length;
    }
    Judge(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
