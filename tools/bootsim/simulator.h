#pragma once
// A bootloader of our own making, for tests and benchmarks: it listens on a pseudo-terminal
// on a thread of its own, answers hellos with an identification byte, takes flash and EEPROM
// frames, checks their checksums, answers "K" or "N" and keeps the memory it was given. On
// request it answers "N", stays silent, answers late, splits its answer or sends stray bytes.
#include "bootsim/pty.h"

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvex::bootsim {

// Bytes sent `delayMs` after the previous chunk (the first: after the request was taken in).
struct Chunk {
    int delayMs = 0;
    QByteArray bytes;
};
using Reply = std::vector<Chunk>;

inline Reply Now(const QByteArray& bytes) {
    return {{0, bytes}};
}
inline Reply Late(int delayMs, const QByteArray& bytes) {
    return {{delayMs, bytes}};
}
inline Reply Silent() {
    return {};
}

struct Options {
    std::uint8_t identification = 0x04;
    // Hellos are answered from the n-th on (counting from 1); earlier ones draw silence.
    int answerHellosFrom = 1;
    // Replies that take the place of the usual one, by hello number (from 0).
    std::map<int, Reply> helloReplies;
    // Replies that take the place of the verdict, by frame number (from 0; flash and EEPROM
    // frames counted together). The frame's data is kept only when the reply accepts it.
    std::map<int, Reply> frameReplies;
    // How long the unit takes from the last byte of a hello or frame to the first byte of its
    // answer. A bootloader answers a hello at once and a frame once it is written, so the unit
    // answers at once unless a test asks for a slower one.
    int turnaroundMs = 0;
    // When set, the line is modelled at this baud rate: each byte takes ten bit times, both
    // ways, so a unit has a frame only once its last byte is over the line, and a byte can come
    // back while a frame is still on its way. 0: bytes take no time, as on a pseudo-terminal.
    int baud = 0;
    // A frame left unfinished this long is dropped, as a bootloader drops a broken frame.
    int dropPartialFrameAfterMs = 200;
    // Stray bytes from elsewhere on the line, timed from the first byte of this frame (from 0),
    // as noise on a real line can come while a frame is still on its way.
    std::map<int, Reply> strayAtFrame;
    // The unit is unplugged as this hello (from 0) comes in: as unplugAtFrame.
    int unplugAtHello = -1;
    // The unit is unplugged as this frame (from 0) comes in: no verdict, and both ends of the
    // pseudo-terminal close, so the updater's port reads and writes fail from then on.
    int unplugAtFrame = -1;
};

struct FrameRecord {
    QByteArray bytes;
    bool eeprom = false;
    bool checksumOk = false;
    int address = 0; // word address of a flash frame, EEPROM address of an EEPROM frame
};

class Simulator {
  public:
    static constexpr int FlashBytes = 0x2000 * 2; // 8 K words of program memory
    static constexpr int EepromBytes = 256;

    explicit Simulator(Options options = {});
    ~Simulator();

    // Opens the pseudo-terminal and starts listening.
    bool start(QString* error = nullptr);
    void stop();
    QString slavePath() const { return pty_.slavePath(); }
    int slaveNumber() const { return pty_.slaveNumber(); }

    // Stray bytes, sent `delayMs` from now.
    void inject(const QByteArray& bytes, int delayMs = 0);
    void setFrameReply(int frame, Reply reply);

    QByteArray flash() const;
    QByteArray eeprom() const;
    QByteArray eepromWritten() const; // 1 where an EEPROM byte was accepted
    std::vector<FrameRecord> frames() const;
    int hellos() const;
    QByteArray received() const; // every byte that came in, in order
    bool unplugged() const { return unplugged_; }

  private:
    // Wakes the answering thread to look at the line, the pending bytes and the stop request.
    void wake();
    struct Pending {
        std::int64_t dueUs;
        QByteArray bytes;
    };
    void run();
    void take(const char* data, int n);
    void completeFrame();
    void keep(const FrameRecord& record); // with the lock held
    void schedule(const Reply& reply);
    void flushDue();
    void takeDue();
    int pollTimeoutMs() const;
    std::int64_t byteUs() const;

    Options options_;
    PtyPair pty_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> unplugged_{false};

    mutable std::mutex mutex_;
    QByteArray flash_;
    QByteArray eeprom_;
    QByteArray eepromWritten_;
    std::vector<FrameRecord> frames_;
    int hellos_ = 0;
    QByteArray received_;
    std::multimap<std::int64_t, QByteArray> pending_;

    // Thread-only state: the frame being taken in, and the bytes still on their way in over a
    // modelled line, each with the time its last bit arrives.
    std::multimap<std::int64_t, char> inbound_;
    std::int64_t inboundFreeUs_ = 0;
    std::int64_t outboundFreeUs_ = 0; // with the lock held
    QByteArray partial_;
    std::int64_t partialSinceUs_ = 0;
};

} // namespace quorvex::bootsim
