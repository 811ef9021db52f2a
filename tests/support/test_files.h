#pragma once
// Small file helpers for the package tests: a scratch folder, whole-file reads and writes,
// packages written from a file and read back into one, and the folder of the compatibility
// packages.
#include "package/cipher.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace quorvex::testing {

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QString Fixtures() {
    return qEnvironmentVariable("QUORVEX_FIXTURES");
}
inline QString Fixture(const QString& name) {
    return Fixtures() + QLatin1Char('/') + name;
}

// Bytes that are not all alike, so that a misplaced byte shows.
inline QByteArray Pattern(int size, int salt = 0) {
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char((unsigned(i) * 131u + unsigned(salt) * 7u + (unsigned(i) >> 8)) & 0xFFu);
    return out;
}

// The package for the file `source` written to `target`, made anew.
inline bool EncodeFile(const QString& source, const QString& target, const QString& key,
                       const DFFHeader& header, const ByteProgress& progress, ErrorSink& log,
                       Failure* why = nullptr, std::optional<std::int32_t> seed = std::nullopt) {
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return EncodePackage(source, out, key, header, progress, log, why, seed);
}

// The body of the package `source` written to `target` when it decodes; `target` is left as it
// was when it does not.
inline bool DecodeFile(const QString& source, const QString& target, const QString& key,
                       ProgressDisplay* progress, ErrorSink& log) {
    QByteArray body;
    if (!DecodePackageBody(source, body, key, progress, log))
        return false;
    WriteAll(target, body);
    return true;
}

class Scratch {
  public:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString folder() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
};

} // namespace quorvex::testing
