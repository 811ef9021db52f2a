#include "package/cipher.h"
#include "package/file_failure.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>
#include <functional>
#include <new>

namespace quorvex {

namespace {

// Read and written this much at a time; a whole number of blocks.
constexpr qint64 ChunkSize = 4096 * CipherBlockSize;
// Progress is told at most this often during a long file: often enough for a bar to move
// smoothly, rarely enough that the digests, not the telling, set the pace.
constexpr qint64 ProgressEveryMs = 20;
// The clock is read once per this many blocks (about 10 microseconds of digests).
constexpr qint64 BlocksPerClockRead = 64;

// Pieces, so that no whole key ever sits in the program's data.
QString KeyPrefix() {
    return QStringLiteral("quor") + QStringLiteral("vex");
}

qint64 BlockCount(qint64 bytes) {
    return (bytes + CipherBlockSize - 1) / CipherBlockSize;
}

// Fails unless every counter of `bytes` of body fits in 32 bits, before anything is written.
void CheckCounters(std::int32_t seed, qint64 bytes) {
    if (bytes > 0 && !BlockCounter(seed, BlockCount(bytes) - 1))
        Raise(FailureNo::Overflow);
}

// Hides the progress display on every way out once it was shown.
class ShownProgress {
  public:
    explicit ShownProgress(ProgressDisplay* p) : p_(p) {
        if (p_)
            p_->show();
    }
    ~ShownProgress() {
        if (p_)
            p_->hide();
    }
    ShownProgress(const ShownProgress&) = delete;
    ShownProgress& operator=(const ShownProgress&) = delete;

  private:
    ProgressDisplay* p_;
};

struct Span {
    qint64 before; // bytes of the source read before the body
    qint64 total;  // length of the source
};

// A write to a file fails as its system says; a buffer in memory only when it cannot grow.
[[noreturn]] void RaiseWriteFailure(const QIODevice& out) {
    if (const auto* file = qobject_cast<const QFileDevice*>(&out))
        RaiseFailure(TransferFailure(*file));
    throw std::bad_alloc();
}

// Combines `length` bytes of `in` with the keystream and writes them to `out`, telling
// `progress` how many bytes of the source are behind.
void ScrambleBody(QFile& in, QIODevice& out, Keystream& keys, std::int32_t seed, qint64 length,
                  Span span, const ByteProgress& progress) {
    QByteArray chunk(std::min(ChunkSize, std::max<qint64>(length, 1)), Qt::Uninitialized);
    QElapsedTimer sinceTold;
    sinceTold.start();
    qint64 done = 0;
    qint64 block = 0;
    while (done < length) {
        const qint64 want = std::min<qint64>(chunk.size(), length - done);
        if (in.read(chunk.data(), want) != want)
            RaiseFailure(TransferFailure(in));
        for (qint64 at = 0; at < want; at += CipherBlockSize, ++block) {
            const auto counter = BlockCounter(seed, block);
            if (!counter)
                Raise(FailureNo::Overflow);
            const QByteArrayView mask = keys.mask(*counter);
            const qint64 n = std::min<qint64>(CipherBlockSize, want - at);
            char* bytes = chunk.data() + at;
            for (qint64 i = 0; i < n; ++i)
                bytes[i] = char(bytes[i] ^ mask[i]);
            if (block % BlocksPerClockRead == 0 && sinceTold.elapsed() >= ProgressEveryMs) {
                if (progress)
                    progress(span.before + done + at + n, span.total);
                sinceTold.restart();
            }
        }
        if (out.write(chunk.constData(), want) != want)
            RaiseWriteFailure(out);
        done += want;
    }
    if (auto* file = qobject_cast<QFileDevice*>(&out); file && !file->flush())
        RaiseFailure(TransferFailure(*file));
    if (progress && length > 0)
        progress(span.before + length, span.total);
}

QByteArray SeedBytes(std::int32_t seed) {
    QByteArray bytes(SeedSize, Qt::Uninitialized);
    qToLittleEndian(seed, bytes.data());
    return bytes;
}

} // namespace

QString PackageKey(const DFFHeader& header, KeyParts parts) {
    QString key = KeyPrefix() + QString::number(header.VerMajor) + QLatin1Char('.') +
                  QString::number(header.VerMinor);
    if (parts == KeyParts::Three)
        key += QLatin1Char('.') + QString::number(header.VerRevision);
    return key;
}

QByteArray KeyCheckOf(const QString& key, std::int32_t seed) {
    return Keystream(key.toLatin1()).mask(seed).toByteArray();
}

bool EncodePackage(const QString& source, QFileDevice& out, const QString& key,
                   const DFFHeader& header, const ByteProgress& progress, ErrorSink& log,
                   Failure* why, std::optional<std::int32_t> seed) {
    Guard guard(log, Place::Module(QStringLiteral("EncMD5"), QStringLiteral("modMD5Shell")));
    const auto keep = [why](const Failure& f) {
        if (why)
            *why = f;
        return false; // still logged
    };
    QFile in(source);
    const std::int32_t s =
        seed ? *seed : std::int32_t(QRandomGenerator::system()->bounded(SeedLimit));

    if (!guard.step(
            [&] {
                if (!in.open(QIODevice::ReadOnly))
                    RaiseFailure(OpenFailure(in, source, OpenFor::Reading));
                CheckCounters(s, in.size());
            },
            keep))
        return false;
    if (!guard.step(
            [&] {
                const QByteArray preamble = header.toBytes() + SeedBytes(s) + KeyCheckOf(key, s);
                if (out.write(preamble) != preamble.size())
                    RaiseFailure(TransferFailure(out));
            },
            keep))
        return false;

    // The encoding's front end shows its own bar with the first report.
    Keystream keys(key.toLatin1());
    return guard.step(
        [&] {
            ScrambleBody(in, out, keys, s, in.size(), Span{0, in.size()}, progress);
        },
        keep);
}

namespace {

// Opens (or empties) the target for a body of the given length once the key check has passed.
using TargetOpener = std::function<QIODevice&(qint64 length)>;

bool Decode(const QString& source, const TargetOpener& openTarget, const QString& key,
            ProgressDisplay* progress, ErrorSink& log, Failure* why) {
    Guard guard(log, Place::Module(QStringLiteral("DecMD5"), QStringLiteral("modMD5Shell")));
    const auto keep = [why](const Failure& f) {
        if (why)
            *why = f;
        return false; // still logged
    };
    QFile in(source);
    QByteArray preamble;

    if (!guard.step(
            [&] {
                if (!in.open(QIODevice::ReadOnly))
                    RaiseFailure(OpenFailure(in, source, OpenFor::Reading));
                preamble = in.read(BodyOffset);
                if (in.error() != QFileDevice::NoError)
                    RaiseFailure(TransferFailure(in));
            },
            keep))
        return false;
    if (preamble.size() < BodyOffset)
        return false;
    const auto seed = qFromLittleEndian<std::int32_t>(preamble.constData() + SeedOffset);
    if (preamble.mid(KeyCheckOffset, DigestSize) != KeyCheckOf(key, seed))
        return false;

    const qint64 length = in.size() - BodyOffset;
    QIODevice* out = nullptr;
    if (!guard.step(
            [&] {
                CheckCounters(seed, length);
                out = &openTarget(length);
            },
            keep))
        return false;

    ShownProgress shown(progress);
    Keystream keys(key.toLatin1());
    // The display is filled to the fraction of the package that is behind.
    ByteProgress filled;
    if (progress)
        filled = [progress](qint64 done, qint64 total) {
            progress->fill(double(done) / double(total));
        };
    return guard.step(
        [&] {
            ScrambleBody(in, *out, keys, seed, length, Span{BodyOffset, in.size()}, filled);
        },
        keep);
}

} // namespace

bool DecodePackageBody(const QString& source, QByteArray& target, const QString& key,
                       ProgressDisplay* progress, ErrorSink& log, Failure* why) {
    QByteArray body;
    QBuffer buffer(&body);
    const auto open = [&](qint64 length) -> QIODevice& {
        buffer.open(QIODevice::WriteOnly);
        // Taken whole before the first block: the body never needs twice its size on the way.
        body.reserve(length);
        return buffer;
    };
    if (!Decode(source, open, key, progress, log, why))
        return false;
    buffer.close();
    target = std::move(body);
    return true;
}

} // namespace quorvex
