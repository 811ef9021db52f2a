#include "base/conversions.h"
#include "base/failure.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace quorvex {

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

namespace {
QChar SeparatorOf(const QString& path) {
    return path.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
}
} // namespace

QString FileNamePart(const QString& path, int mode) {
    const QString name = path.mid(path.lastIndexOf(SeparatorOf(path)) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (mode == 1)
        return dot < 0 ? name : name.left(dot);
    if (mode == 2)
        return dot < 0 ? QString() : name.mid(dot + 1);
    return name;
}

QString FolderPart(const QString& path) {
    const qsizetype at = path.lastIndexOf(SeparatorOf(path));
    return at < 0 ? QString() : path.left(at + 1);
}

double LeadingNumber(const QString& text) {
    static const QRegularExpression leading(
        QStringLiteral("^[ \\t]*([+-]?(\\d+(\\.\\d*)?|\\.\\d+))"));
    const QRegularExpressionMatch m = leading.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

std::uint8_t Nibbles2Byte(int low, int high) {
    const int sum = high * 16 + low;
    if (sum > 255 || sum < 0)
        Raise(FailureNo::Overflow);
    return std::uint8_t(sum);
}

std::uint8_t HighByte(std::int32_t v) {
    const std::uint32_t u = std::uint32_t(v);
    std::uint8_t b = std::uint8_t((v >> 8) & 0x7F);
    if ((u & 0xFFFF8000u) != 0)
        b |= 0x80;
    return b;
}

} // namespace quorvex
