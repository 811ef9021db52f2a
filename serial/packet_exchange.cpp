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
    if (response.size() == 1 && Holds(response, Link::Accepted))
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

void SendAndDrain(SerialPort& port, const QByteArray& bytes) {
    if (!port.isOpen())
        return;
    SendRaw(port, bytes);
    port.drain();
}

namespace {

Place ExchangePlace() {
    return Place::Module(QStringLiteral("SendPacket"), QStringLiteral("modFW"));
}

// What a pause heard, less the letters that cannot be noise: a repeated "K" changes nothing.
QByteArray NoiseIn(const QByteArray& heard) {
    QByteArray noise = heard;
    noise.replace(Link::Accepted, QByteArray());
    noise.replace(char(Link::Accepted + ('a' - 'A')), QByteArray());
    return noise;
}

} // namespace

Verdict FrameExchange::listen(Guard& guard, int ms) {
    SerialPort& port = link_.port;
    bool gone = false;
    const auto deviceGone = [&](const Failure& f) {
        gone = gone || f.number == FailureNo::DeviceUnavailable;
        return false;
    };
    if (!port.isOpen()) {
        guard.step([&] { WaitMs(ms); });
        return Verdict::None;
    }
    const LinkClock& clock = link_.clock;
    const std::int64_t end = clock.nowUs() + std::int64_t(ms) * 1000;
    QByteArray heard;
    Verdict verdict = Verdict::None;
    for (;;) {
        // The last look comes after the time is up, right before whatever is written next: a
        // byte that came before the next frame began is judged here, never dropped.
        QByteArray got;
        guard.step([&] { got = TakeWaiting(port); }, deviceGone);
        if (gone)
            return Verdict::PortGone;
        heard += got;
        if (open_ && Holds(got, Link::Rejected)) {
            verdict = Verdict::Rejected;
            break;
        }
        if (clock.nowUs() >= end)
            break;
        guard.step([&] { port.waitForReadyRead(clock.msUntil(end)); }, deviceGone);
        if (gone)
            return Verdict::PortGone;
    }
    if (verdict == Verdict::Rejected)
        open_ = false;
    else if (!noiseNoted_ && !NoiseIn(heard).isEmpty()) {
        // Noise, not a failure: the frames' verdicts still count. One record a transfer tells of
        // a noisy line without filling the log.
        noiseNoted_ = true;
        const Failure noise{FailureNo::DeviceIOError,
                            QStringLiteral("Bytes that came in outside the unit's answers were "
                                           "discarded")};
        ErrorSink& sink = link_.notes ? *link_.notes : link_.log;
        sink.LogError(
            FailureMessage(noise, ExchangePlace(), int(std::source_location::current().line())));
    }
    return verdict;
}

FrameExchange::Result FrameExchange::send(const QByteArray& packet) {
    Guard guard(link_.log, ExchangePlace());
    Result result;
    // Once the device has gone, no read or write can bring a verdict: stop asking.
    bool gone = false;
    const auto deviceGone = [&](const Failure& f) {
        gone = gone || f.number == FailureNo::DeviceUnavailable;
        return false;
    };
    QByteArray frame;
    guard.step([&] { frame = Frame(packet); });
    // The pause before the frame is the last chance for the unit to take back the frame before.
    switch (listen(guard, Link::PauseBeforeFrameMs)) {
    case Verdict::Rejected:
        result.earlierRejected = true;
        return result;
    case Verdict::PortGone:
        open_ = false;
        result.verdict = Verdict::PortGone;
        return result;
    default:
        break;
    }
    open_ = false;
    // From the first byte on, whatever comes belongs to this frame's reply.
    guard.step([&] { SendAndDrain(link_.port, frame); }, deviceGone);
    QByteArray response;
    for (int reads = 0; reads < Link::ReadsPerFrame && !gone; ++reads) {
        guard.step([&] { response = GetResponse(link_.port, link_.clock); }, deviceGone);
        if (VerdictOf(response) != Verdict::None)
            break;
        guard.step([&] { WaitMs(Link::PauseBetweenReadsMs); });
    }
    if (gone) {
        result.verdict = Verdict::PortGone;
        return result;
    }
    result.verdict = VerdictOf(response);
    open_ = result.verdict == Verdict::Accepted;
    return result;
}

bool FrameExchange::lastRejected() {
    if (!open_)
        return false;
    Guard guard(link_.log, ExchangePlace());
    const bool rejected = listen(guard, Link::ResponseWindowMs) == Verdict::Rejected;
    open_ = false;
    return rejected;
}

Verdict SendPacket(const SerialLink& link, const QByteArray& packet) {
    return FrameExchange(link).send(packet).verdict;
}

} // namespace quorvex
