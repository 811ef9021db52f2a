#include "serial/packet_exchange.h"
#include "base/sleep.h"

#include <algorithm>
#include <chrono>

namespace quorvex {

std::uint8_t Checksum(const QByteArray& packet) {
    std::uint32_t sum = 0;
    for (char b : packet)
        sum += std::uint8_t(b);
    return std::uint8_t((256 - sum % 256) % 256);
}

QByteArray Frame(const QByteArray& packet) {
    QByteArray frame = packet;
    frame.append(char(Checksum(packet)));
    return frame;
}

namespace {

class SteadyClock final : public LinkClock {
  public:
    std::int64_t nowUs() const override {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    }
    int msUntil(std::int64_t us) const override {
        const std::int64_t left = us - nowUs();
        return left <= 0 ? 0 : int((left + 999) / 1000);
    }
};

bool Holds(const QByteArray& response, char upper) {
    return response.contains(upper) || response.contains(char(upper + ('a' - 'A')));
}

} // namespace

Verdict VerdictOf(const QByteArray& response) {
    if (Holds(response, Link::Rejected))
        return Verdict::Rejected;
    if (Holds(response, Link::Accepted))
        return Verdict::Accepted;
    return Verdict::None;
}

void SendRaw(SerialPort& port, const QByteArray& bytes) {
    if (!port.isOpen())
        return;
    // A longer string would overrun the count of written bytes: refuse it whole rather than
    // send part of a frame.
    if (bytes.size() > Link::MaxRawLength)
        Raise(FailureNo::Overflow);
    for (int i = 0; i < bytes.size(); ++i)
        port.output(bytes.mid(i, 1));
}

const LinkClock& SteadyLinkClock() {
    static const SteadyClock clock;
    return clock;
}

QByteArray GetResponse(SerialPort& port, const LinkClock& clock) {
    constexpr std::int64_t QuietGapUs = std::int64_t(Link::QuietGapMs) * 1000;
    // The window is judged on the link's clock, like the quiet gap, so both are measured the
    // same way.
    const std::int64_t windowEnd = clock.nowUs() + std::int64_t(Link::ResponseWindowMs) * 1000;
    // A reply the window closed on may still be completed, but not kept open for ever by a
    // line that never falls quiet.
    const std::int64_t lastJoin = windowEnd + QuietGapUs;
    QByteArray response;
    std::int64_t lastArrival = 0;
    for (;;) {
        // The port is read before anything is judged: bytes that came while this thread was
        // busy elsewhere belong to the reply under way, however late this look is. Their
        // arrival is dated by this read, so lateness can only join a reply, never split one.
        const QByteArray arrived = port.input();
        const std::int64_t now = clock.nowUs();
        if (!arrived.isEmpty()) {
            response += arrived;
            lastArrival = now;
        }
        if (response.isEmpty()) {
            if (now >= windowEnd)
                return response;
        } else if (now - lastArrival >= QuietGapUs || now >= lastJoin) {
            return response;
        }
        const std::int64_t next =
            response.isEmpty() ? windowEnd : std::min(lastJoin, lastArrival + QuietGapUs);
        // A byte's arrival or the due time ends the sleep.
        port.waitForReadyRead(clock.msUntil(next));
    }
}

QByteArray TakeWaiting(SerialPort& port) {
    return port.isOpen() ? port.input() : QByteArray();
}

void DiscardWaiting(SerialPort& port) {
    TakeWaiting(port);
}

QByteArray SendDrained(SerialPort& port, const QByteArray& bytes) {
    if (!port.isOpen())
        return {};
    SendRaw(port, bytes);
    port.drain();
    return TakeWaiting(port);
}

void NoteDiscarded(const SerialLink& link, const Place& place, const QByteArray& discarded,
                   std::source_location where) {
    if (discarded.isEmpty())
        return;
    // Noise, not a failure: the exchange goes on and its verdict still counts. The text stays
    // the same whatever the bytes were, so the log keeps one record of a noisy line, not one
    // per frame.
    const Failure noise{FailureNo::DeviceIOError,
                        QStringLiteral("Bytes that came in while the updater was still sending "
                                       "were discarded")};
    ErrorSink& sink = link.notes ? *link.notes : link.log;
    sink.LogError(FailureMessage(noise, place, int(where.line())));
}

Verdict SendPacket(const SerialLink& link, const QByteArray& packet) {
    const Place place = Place::Module(QStringLiteral("SendPacket"), QStringLiteral("modFW"));
    Guard guard(link.log, place);
    // Once the device has gone, no read or write can bring a verdict: stop asking.
    bool gone = false;
    const auto deviceGone = [&](const Failure& f) {
        if (f.number == FailureNo::DeviceUnavailable)
            gone = true;
        return false;
    };
    QByteArray frame;
    guard.step([&] { frame = Frame(packet); });
    guard.step([&] { WaitMs(Link::PauseBeforeFrameMs); });
    // Anything that arrived before the frame leaves, a late letter from an earlier exchange
    // above all, would otherwise be taken as this frame's verdict.
    guard.step([&] { DiscardWaiting(link.port); }, deviceGone);
    // So would anything that arrives while the frame is still on its way out: a unit answers
    // only once it has the whole frame.
    QByteArray noise;
    if (!gone)
        guard.step([&] { noise = SendDrained(link.port, frame); }, deviceGone);
    NoteDiscarded(link, place, noise);
    QByteArray response;
    for (int reads = 0; reads < Link::ReadsPerFrame && !gone; ++reads) {
        guard.step([&] { response = GetResponse(link.port, link.clock); }, deviceGone);
        if (VerdictOf(response) != Verdict::None)
            break;
        guard.step([&] { WaitMs(Link::PauseBetweenReadsMs); });
    }
    if (gone)
        return Verdict::PortGone;
    return VerdictOf(response);
}

} // namespace quorvex
