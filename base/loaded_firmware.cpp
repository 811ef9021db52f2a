#include "base/loaded_firmware.h"

namespace quorvex {

DFFHeader DFFHeader::Of(const QString& code, int major, int minor, int chipId, int revision) {
    DFFHeader h;
    h.setProductCode(code);
    h.VerMajor = std::uint8_t(major);
    h.VerMinor = std::uint8_t(minor);
    h.ChipId = std::uint8_t(chipId);
    h.VerRevision = std::uint8_t(revision);
    return h;
}

QByteArray DFFHeader::toBytes() const {
    QByteArray out;
    out.reserve(Size);
    out.append(ProductCode.data(), int(ProductCode.size()));
    out.append(char(VerMajor));
    out.append(char(VerMinor));
    out.append(char(ChipId));
    out.append(char(VerRevision));
    for (auto b : Reserved)
        out.append(char(b));
    return out;
}

DFFHeader DFFHeader::fromBytes(const QByteArray& bytes) {
    DFFHeader h;
    for (int i = 0; i < 8; ++i)
        h.ProductCode[i] = bytes.at(i);
    h.VerMajor = std::uint8_t(bytes.at(8));
    h.VerMinor = std::uint8_t(bytes.at(9));
    h.ChipId = std::uint8_t(bytes.at(10));
    h.VerRevision = std::uint8_t(bytes.at(11));
    for (int i = 0; i < 6; ++i)
        h.Reserved[i] = std::uint8_t(bytes.at(12 + i));
    return h;
}

void DFFHeader::setProductCode(const QString& code) {
    const QByteArray latin = code.toLatin1();
    for (int i = 0; i < 8; ++i)
        ProductCode[i] = i < latin.size() ? latin.at(i) : ' ';
}

QString DFFHeader::trimmedCode() const {
    return QString::fromLatin1(ProductCode.data(), int(ProductCode.size())).trimmed();
}

QString DFFHeader::versionText() const {
    return QStringLiteral("%1.%2.%3").arg(VerMajor).arg(VerMinor).arg(VerRevision);
}

void LoadedFirmware::releaseImages() {
    ProgramImage.clear();
    EepromImage.clear();
    EepromPresent.clear();
    ConfigImage.clear();
}

} // namespace quorvex
