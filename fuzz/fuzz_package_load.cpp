// The whole package load on arbitrary bytes, with the technician answering Yes. No load writes
// a file (the body is decoded in memory), and a load that says it succeeded holds an image that
// fits its header: a network body byte for byte, a serial image with the bootloader's jump in
// place.
#include "base/catalogue.h"
#include "flow/open_package.h"
#include "fuzz_support.h"
#include "net/tftp_packets.h"
#include "package/cipher.h"
#include "package/intel_hex.h"
#include "package/package_reader.h"
#include "support/recording_log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <optional>

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

namespace {

// The load as both front ends make it, the question answered Yes.
class YesReport : public Report {
  public:
    void stage(const QString&) override {}
    void progress(qint64, qint64) override {}
    void tell(const QString&, Icon, const QString&) override { ++told; }
    bool ask(const QString&) override {
        ++asked;
        return true;
    }
    int asked = 0;
    int told = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(places->package);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            std::abort();
    }
    YesReport report;
    fakes::RecordingLog log;
    const OpenOutcome opened = OpenPackage(places->package, report, log);
    const auto* package = std::get_if<Package>(&opened);
    const bool loaded = package != nullptr;

    FUZZ_EXPECT(IsEmptyFolder(places->systemTemp));
    FUZZ_EXPECT(
        QDir(places->root.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .size() == 2); // the package and the temporary folder
    if (size < std::size_t(DFFHeader::Size)) {
        FUZZ_EXPECT(!loaded);
        FUZZ_EXPECT(report.asked == 0);
        return 0;
    }
    std::optional<DFFHeader> header;
    if (package)
        header = package->header();
    else if (const auto* refusal = std::get_if<PackageRefusal>(&opened))
        header = refusal->header;
    if (header)
        FUZZ_EXPECT(header->toBytes() == bytes.left(DFFHeader::Size));
    if (!loaded)
        return 0;
    const LoadedFirmware& fw = package->firmware();
    FUZZ_EXPECT(size >= std::size_t(BodyOffset));
    FUZZ_EXPECT(report.asked == 1);
    FUZZ_EXPECT(report.told == 0);
    if (IsNetworkUnit(fw)) {
        FUZZ_EXPECT(fw.ProgramImage.size() == bytes.size() - BodyOffset);
        FUZZ_EXPECT(fw.ProgramImage.size() <= MaxNetworkImageSize);
    } else {
        FUZZ_EXPECT(fw.ProgramImage.size() == ProgramImageSize);
        FUZZ_EXPECT(fw.ProgramImage.left(6) == QByteArray::fromHex("1f308a00a02f"));
        FUZZ_EXPECT(fw.EepromImage.size() == fw.EepromPresent.size());
        FUZZ_EXPECT(fw.ProgramEnd >= 0 && fw.ProgramEnd <= ProgramImageSize);
    }
    return 0;
}
