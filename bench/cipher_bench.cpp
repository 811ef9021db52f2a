// Throughput and memory of the package decoder, beside a bare loop of the same digests.
//   cipher_bench            1 MiB and 16 MiB decodes, then the 64 MiB memory check
// Prints one line per figure and exits non-zero when a goal is missed: the decoder at least
// half as fast as the bare loop, and a 64 MiB package decoded into memory with less than an
// eighth of its size on top of the body itself.
#include "base/failure.h"
#include "package/cipher.h"
#include "package/keystream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace quorvex;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int Rounds = 3;

class StderrLog : public ErrorSink {
  public:
    void LogError(const QString& m) override { std::fprintf(stderr, "%s\n", qPrintable(m)); }
};

// Takes fills as a real bar would: keeps the latest.
class LatestFraction : public ProgressDisplay {
  public:
    void show() override {}
    void fill(double f) override { last = f; }
    void hide() override {}
    double last = 0;
};

// Peak resident size in KiB so far, from the kernel; -1 where it cannot be read.
long PeakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The package for `input` written to `package`, made anew.
bool Encode(const QString& input, const QString& package, const QString& key,
            const DFFHeader& header, ErrorSink& log, std::int32_t seed) {
    QFile out(package);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           EncodePackage(input, out, key, header, nullptr, log, nullptr, seed);
}

// Writes `bytes` of varied data without holding them.
bool WriteInput(const QString& path, qint64 bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk(MiB, Qt::Uninitialized);
    for (qint64 done = 0; done < bytes; done += chunk.size()) {
        for (int i = 0; i < chunk.size(); ++i)
            chunk[i] = char((done + i) * 2654435761u >> 13);
        if (f.write(chunk.constData(), std::min<qint64>(chunk.size(), bytes - done)) < 0)
            return false;
    }
    return true;
}

double MBps(qint64 bytes, qint64 ns) {
    return ns > 0 ? double(bytes) / 1e6 / (double(ns) / 1e9) : 0;
}

// The same digests as a decode of `bytes`, straight from memory: no files, no events.
double BareLoopMBps(const QString& key, std::int32_t seed, qint64 bytes) {
    Keystream keys(key.toLatin1());
    char sink[16] = {};
    const qint64 blocks = (bytes + 15) / 16;
    QElapsedTimer t;
    t.start();
    for (qint64 k = 0; k < blocks; ++k) {
        const QByteArrayView m = keys.mask(*BlockCounter(seed, k));
        for (int i = 0; i < 16; ++i)
            sink[i] = char(sink[i] ^ m[i]);
    }
    const qint64 ns = t.nsecsElapsed();
    volatile char keep = sink[0];
    (void)keep;
    return MBps(bytes, ns);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    StderrLog log;
    DFFHeader header;
    header.setProductCode(QStringLiteral("TORV5"));
    header.VerMajor = 1;
    header.VerMinor = 4;
    header.VerRevision = 12;
    const QString key = PackageKey(header);
    const std::int32_t seed = 1011;
    bool ok = true;

    for (const qint64 size : {1 * MiB, 16 * MiB}) {
        const QString input = dir.filePath(QStringLiteral("in"));
        const QString package = dir.filePath(QStringLiteral("p.dff"));
        if (!WriteInput(input, size) || !Encode(input, package, key, header, log, seed))
            return 2;
        double best = 0;
        double bare = 0;
        for (int round = 0; round < Rounds; ++round) {
            LatestFraction bar;
            QByteArray body;
            QElapsedTimer t;
            t.start();
            if (!DecodePackageBody(package, body, key, &bar, log))
                return 2;
            best = std::max(best, MBps(size, t.nsecsElapsed()));
            bare = std::max(bare, BareLoopMBps(key, seed, size));
        }
        const bool pass = best >= bare / 2;
        ok = ok && pass;
        std::printf(
            "decode %3lld MiB: %7.1f MB/s   bare digest loop: %7.1f MB/s   ratio %.2f  %s\n",
            size / MiB, best, bare, best / bare, pass ? "PASS" : "FAIL (goal 0.50)");
    }

    const QString input = dir.filePath(QStringLiteral("big"));
    const QString package = dir.filePath(QStringLiteral("big.dff"));
    if (!WriteInput(input, 64 * MiB) || !Encode(input, package, key, header, log, seed))
        return 2;
    QFile::remove(input);
    const long before = PeakResidentKiB();
    QByteArray body;
    QElapsedTimer t;
    t.start();
    if (!DecodePackageBody(package, body, key, nullptr, log))
        return 2;
    const qint64 ns = t.nsecsElapsed();
    const long peak = PeakResidentKiB();
    if (peak < 0) {
        std::printf("decode  64 MiB: %7.1f MB/s   peak resident size: not available here\n",
                    MBps(64 * MiB, ns));
    } else {
        const bool pass = peak - before < 72 * 1024;
        ok = ok && pass;
        std::printf("decode  64 MiB: %7.1f MB/s   peak resident size %.1f MiB (before decode "
                    "%.1f MiB)  %s\n",
                    MBps(64 * MiB, ns), peak / 1024.0, before / 1024.0,
                    pass ? "PASS" : "FAIL (goal: under 72 MiB more)");
    }
    return ok ? 0 : 1;
}
