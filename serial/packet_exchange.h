#pragma once
// The framed exchange with the unit's bootloader: a frame is the packet followed by one
// checksum byte; the bootloader judges it with one letter, "K" (accepted) or "N" (rejected).
#include "base/failure.h"
#include "base/stop_request.h"
#include "serial/serial_port.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <source_location>

namespace quorvex {

namespace Link {
inline constexpr int PauseBeforeFrameMs = 25;
inline constexpr int ResponseWindowMs = 350;
inline constexpr int QuietGapMs = 25;
inline constexpr int PauseBetweenReadsMs = 10;
inline constexpr int ReadsPerFrame = 30;
// SendRaw counts what it writes in one byte; the longest frame the link sends is 68.
inline constexpr int MaxRawLength = 254;

inline constexpr char Accepted = 'K';
inline constexpr char Rejected = 'N';
} // namespace Link

// The clock that times a response: when a byte was seen, when the quiet gap after it and the
// response window are over. The program runs on the steady clock; a test may run a slower one,
// so that a timing boundary holds with margins a busy machine cannot eat.
class LinkClock {
  public:
    virtual ~LinkClock() = default;
    // Link time now, in microseconds.
    virtual std::int64_t nowUs() const = 0;
    // Real milliseconds from now until the link time `us`, rounded up; 0 once it has come.
    virtual int msUntil(std::int64_t us) const = 0;
};
const LinkClock& SteadyLinkClock();

// What the exchange needs of the world: the port, the clock its responses are timed by and the
// log its failures go to. `notes`, when given, takes the records that tell of line noise rather
// than of a failure (bytes that came in outside any answer and were thrown away).
struct SerialLink {
    SerialPort& port;
    ErrorSink& log;
    const LinkClock& clock = SteadyLinkClock();
    ErrorSink* notes = nullptr;
    // When given and requested, the flash stops before its next frame or hello: a unit is never
    // left with half a frame.
    const StopRequest* stop = nullptr;
};

// The bootloader's judgement of a frame; None when no letter came; PortGone when the port
// reported its device gone, so that no answer can come any more.
enum class Verdict { None, Accepted, Rejected, PortGone };

// The byte that makes all bytes of the frame add up to 0 modulo 256.
std::uint8_t Checksum(const QByteArray& packet);
// The packet followed by its checksum.
QByteArray Frame(const QByteArray& packet);
// A frame's verdict in one reply: Rejected when it holds an N (either case); Accepted when it is
// the one letter K (either case) and nothing else. Anything else is no verdict: a unit answers a
// frame with exactly one byte, so a late hello answer, or noise joined to a letter, accepts
// nothing.
Verdict VerdictOf(const QByteArray& response);

// Writes the bytes one write each, first byte first; nothing when the port is closed.
void SendRaw(SerialPort& port, const QByteArray& bytes);
// Collects what the bootloader answers: every byte until a quiet gap has passed since the last
// one arrived, or, when nothing has come, until the response window closes, both on `clock`.
// The port is read before each judgement, so a caller that was late (its thread busy with
// something else) never cuts a reply in two; a reply under way when the window closes is
// completed by bytes that come within one quiet gap after the close. Sleeps on the port until a
// byte arrives or one of those comes due. Port failures reach the caller.
QByteArray GetResponse(SerialPort& port, const LinkClock& clock = SteadyLinkClock());
// Takes whatever waits in the receive buffer. Nothing when the port is closed.
QByteArray TakeWaiting(SerialPort& port);
// Throws away whatever waits in the receive buffer, so it cannot pass for the answer to what
// is written next. Nothing when the port is closed.
void DiscardWaiting(SerialPort& port);
// Writes the bytes, then waits until the port says they have left, so that the response window
// opens once the line is free. Whatever arrives meanwhile stays in the receive buffer: when the
// operating system says a write has drained tells nothing of when the unit had it, so it can
// decide nothing about which bytes answer it. Nothing when the port is closed.
void SendAndDrain(SerialPort& port, const QByteArray& bytes);

// The frames of one transfer, in order, over one link. A "K" stands only if no "N" arrives
// before the next frame begins to go out: the pause before each frame is spent listening, and
// after the last one the caller listens one response window more (confirmLast).
class FrameExchange {
  public:
    explicit FrameExchange(const SerialLink& link) : link_(link) {}

    struct Result {
        // This frame's verdict; None when no letter came in 30 reads.
        Verdict verdict = Verdict::None;
        // An "N" came in the pause before this frame: the frame before it, which the unit had
        // accepted, is rejected after all. This frame was then not sent.
        bool earlierRejected = false;
    };
    // Listens out the pause, writes the frame once and reads its verdict.
    Result send(const QByteArray& packet);
    // After the last frame: listens one response window. True when an "N" came, rejecting the
    // last frame the unit had accepted.
    bool lastRejected();

  private:
    // Listens for `ms` of link time. Rejected when an "N" came while a "K" was still open to
    // contradiction; PortGone when the device went; otherwise None, and any byte but a repeated
    // "K" is noise, noted once for the whole exchange.
    Verdict listen(Guard& guard, int ms);

    const SerialLink& link_;
    // The last frame was accepted and nothing has contradicted it yet.
    bool open_ = false;
    bool noiseNoted_ = false;
};

// One frame on its own: the pause, the frame, its verdict.
Verdict SendPacket(const SerialLink& link, const QByteArray& packet);

} // namespace quorvex
