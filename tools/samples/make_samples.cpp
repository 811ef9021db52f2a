// Writes sample packages for trying the program without hardware: a serial package (Intel HEX
// for a TORV5 unit) and a network package (a raw image for a NYX2 unit), each built from a
// small firmware of our own, with the same cipher the maker's panel uses.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "package/cipher.h"
#include "package/intel_hex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

using namespace quorvex;

namespace {

class StderrLog : public ErrorSink {
  public:
    void LogError(const QString& message) override {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
};

QByteArray HexRecord(int type, int address, const QByteArray& data) {
    return IntelHexRecord(type, address, data) + "\r\n";
}

// A few program words at the reset vector and in a second block, two EEPROM bytes, and the
// configuration word: enough to see blocks skipped and EEPROM bytes sent.
QByteArray SampleHex() {
    QByteArray hex;
    hex += HexRecord(4, 0, QByteArray::fromHex("0000"));
    hex += HexRecord(0, 0x0000, QByteArray::fromHex("8A0100288A010028FF3FFF3FFF3FFF3F"));
    hex += HexRecord(0, 0x0010, QByteArray::fromHex("0830860083160313861383120800FF3F"));
    hex += HexRecord(0, 0x0400, QByteArray::fromHex("03308C008C0B1228080054494F52563520"));
    hex += HexRecord(4, 0, QByteArray::fromHex("00F0"));
    hex += HexRecord(0, 0x0000, QByteArray::fromHex("A55A0103"));
    hex += HexRecord(4, 0, QByteArray::fromHex("0030"));
    hex += HexRecord(0, 0x000E, QByteArray::fromHex("723F"));
    hex += HexRecord(1, 0, QByteArray());
    return hex;
}

QByteArray SampleImage() {
    QByteArray image = "NYX2 sample firmware image\n";
    while (image.size() < 1500)
        image.append(char(image.size() * 7 % 256));
    return image;
}

bool WritePackage(const QString& folder, const QString& name, const QByteArray& body,
                  const char* code, int major, int minor, int chip, int revision, StderrLog& log) {
    const QString bodyPath = folder + '/' + name + (chip == 8 ? ".bin" : ".hex");
    QFile f(bodyPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
        return false;
    f.close();
    const DFFHeader h = DFFHeader::Of(QString::fromLatin1(code), major, minor, chip, revision);
    const QString packagePath =
        folder + '/' + name + QStringLiteral(" v%1.%2.%3.dff").arg(major).arg(minor).arg(revision);
    QFile::remove(packagePath);
    QFile package(packagePath);
    if (!package.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        !EncodePackage(bodyPath, package, PackageKey(h), h, nullptr, log))
        return false;
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(packagePath)));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("samples");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "make_samples: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    StderrLog log;
    const bool ok = WritePackage(folder, QStringLiteral("torv5-sample"), SampleHex(), "TORV5", 1, 4,
                                 0, 12, log) &&
                    WritePackage(folder, QStringLiteral("nyx2-sample"), SampleImage(), "NYX2", 2,
                                 10, 8, 3, log);
    return ok ? 0 : 1;
}
