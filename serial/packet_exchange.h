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
// than of a failure (bytes thrown away because they came in while a frame was going out).
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
// Rejected when the response holds an N (either case), else Accepted when it holds a K.
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
// Writes the bytes and waits until they have gone out on the line. What came in meanwhile
// arrived while they were still going out, so it cannot be their answer: it is taken off the
// port and returned, never left to pass for the answer. Nothing when the port is closed.
QByteArray SendDrained(SerialPort& port, const QByteArray& bytes);
// Sends the packet framed, once, and returns the verdict (None: no letter in 30 reads), read
// only from what arrives after the frame has gone out.
Verdict SendPacket(const SerialLink& link, const QByteArray& packet);
// Records, once per call, that bytes came in while something was going out and were thrown away.
void NoteDiscarded(const SerialLink& link, const Place& place, const QByteArray& discarded,
                   std::source_location where = std::source_location::current());

} // namespace quorvex
