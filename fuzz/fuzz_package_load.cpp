// The whole package load on arbitrary bytes, with the technician answering Yes. No load writes
// a file (the body is decoded in memory), and a load that says it succeeded holds an image that
// fits its header: a network body byte for byte, a serial image with the bootloader's jump in
// place.
#include "base/catalogue.h"
#include "fuzz_support.h"
#include "net/tftp_packets.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "package/package_reader.h"
#include "support/fake_bench.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

using namespace quorvex;

namespace {

struct Places {
    QTemporaryDir root;
    QString systemTemp = root.filePath(QStringLiteral("tmp"));
    QString package = root.filePath(QStringLiteral("package.dff"));
};

Places* places = nullptr;

bool IsEmptyFolder(const QString& path) {
    return QDir(path)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::StartApplication(argc, argv);
    places = new Places;
    QDir().mkpath(places->systemTemp);
    // Anything a load made in the system's temporary folder would be seen here.
    qputenv("TMPDIR", QFile::encodeName(places->systemTemp));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(places->package);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            std::abort();
    }
    fakes::FakeBench s;
    s.prompts.defaultAnswer = true;
    const bool loaded = LoadDFFFile(s.load(), places->package, {});

    FUZZ_EXPECT(IsEmptyFolder(places->systemTemp));
    FUZZ_EXPECT(
        QDir(places->root.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .size() == 2); // the package and the temporary folder
    if (size < std::size_t(DFFHeader::Size)) {
        FUZZ_EXPECT(!loaded);
        FUZZ_EXPECT(s.prompts.questions.empty());
        return 0;
    }
    FUZZ_EXPECT(s.fw.Header.toBytes() == bytes.left(DFFHeader::Size));
    if (!loaded)
        return 0;
    FUZZ_EXPECT(size >= std::size_t(BodyOffset));
    FUZZ_EXPECT(s.prompts.questions.size() == 1);
    FUZZ_EXPECT(s.prompts.messages.empty());
    if (IsNetworkUnit(s.fw)) {
        FUZZ_EXPECT(s.fw.ProgramImage.size() == bytes.size() - BodyOffset);
        FUZZ_EXPECT(s.fw.ProgramImage.size() <= MaxNetworkImageSize);
    } else {
        FUZZ_EXPECT(s.fw.ProgramImage.size() == ProgramImageSize);
        FUZZ_EXPECT(s.fw.ProgramImage.left(6) == QByteArray::fromHex("1f308a00a02f"));
        FUZZ_EXPECT(s.fw.EepromImage.size() == s.fw.EepromPresent.size());
        FUZZ_EXPECT(s.fw.ProgramEnd >= 0 && s.fw.ProgramEnd <= ProgramImageSize);
    }
    return 0;
}
