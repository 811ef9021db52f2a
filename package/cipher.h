#pragma once
// Package form: the 18-byte header, a little-endian seed, a key-check digest, then the body
// scrambled 16 bytes at a time with the keystream. Both directions stream block by block,
// telling their progress as they go.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/progress_display.h"
#include "package/keystream.h"

#include <QFileDevice>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace quorvex {

inline constexpr int SeedOffset = DFFHeader::Size; // 18
inline constexpr int SeedSize = 4;
inline constexpr int KeyCheckOffset = SeedOffset + SeedSize;   // 22
inline constexpr int BodyOffset = KeyCheckOffset + DigestSize; // 38
inline constexpr int CipherBlockSize = 16;
// A new package draws its seed from 0 up to, not including, this.
inline constexpr std::int32_t SeedLimit = 2147483647;

enum class KeyParts { Three, Two };

// The key of a package: the fixed prefix, then major.minor[.revision] in decimal.
QString PackageKey(const DFFHeader& header, KeyParts parts = KeyParts::Three);

// The key check stored after the seed.
QByteArray KeyCheckOf(const QString& key, std::int32_t seed);

// How far a pass over a file is: `done` of its `total` bytes are behind.
using ByteProgress = std::function<void(qint64 done, qint64 total)>;

// Writes the package for the file `source` into `target`, a file the caller made and holds
// open for writing, empty: a file made new for the package is written through the handle that
// made it, never reopened by its name. The seed is drawn from the system's random source
// unless one is given (to rebuild a known package). False after a failure, which is logged
// under EncMD5 and copied to `why`; the target may then hold part of a package.
bool EncodePackage(const QString& source, QFileDevice& target, const QString& key,
                   const DFFHeader& header, const ByteProgress& progress, ErrorSink& log,
                   Failure* why = nullptr, std::optional<std::int32_t> seed = std::nullopt);

// True when the package's key check matches `key` and its whole body was decoded into memory,
// which never outlives the process: `body` becomes the body, and is left as it was unless the
// whole body was decoded. A failing key check (a package shorter than its preamble included)
// logs nothing; other failures are logged under DecMD5 and copied to `why`. Memory that runs
// out throws std::bad_alloc.
bool DecodePackageBody(const QString& source, QByteArray& body, const QString& key,
                       ProgressDisplay* progress, ErrorSink& log, Failure* why = nullptr);

} // namespace quorvex
