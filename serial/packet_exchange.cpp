#include "serial/packet_exchange.h"
#include "base/paced_wait.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>
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

    QEventLoop loop;
    QTimer due;
    due.setSingleShot(true);
    due.setTimerType(Qt::PreciseTimer);
    QObject::connect(&due, &QTimer::timeout, &loop, &QEventLoop::quit);
    port.setReadyReadHandler([&loop] { loop.quit(); });
    const auto unhook = qScopeGuard([&port] { port.setReadyReadHandler({}); });

    QByteArray response;
    std::int64_t lastArrival = 0;
    for (;;) {
        // Judged before anything new is taken: a byte that comes after the gap has passed
        // belongs to the next response, however late this look is.
        const std::int64_t now = clock.nowUs();
        if ((!response.isEmpty() && now - lastArrival >= QuietGapUs) || now >= windowEnd)
            return response;
        const QByteArray arrived = port.input();
        if (!arrived.isEmpty()) {
            response += arrived;
            lastArrival = now;
        }
        const std::int64_t next =
            response.isEmpty() ? windowEnd : std::min(windowEnd, lastArrival + QuietGapUs);
        if (const int ms = clock.msUntil(next); ms > 0) {
            // The window's events run meanwhile; a byte's arrival or the due time ends the
            // sleep.
            due.start(ms);
            loop.exec();
            due.stop();
        }
    }
}

QByteArray TakeWaiting(SerialPort& port) {
    return port.isOpen() ? port.input() : QByteArray();
}

void DiscardWaiting(SerialPort& port) {
    TakeWaiting(port);
}

Verdict SendPacket(const SerialLink& link, const QByteArray& packet) {
    Guard guard(link.log, Place::Module(QStringLiteral("SendPacket"), QStringLiteral("modFW")));
    QByteArray frame;
    guard.step([&] { frame = Frame(packet); });
    guard.step([&] { WaitMs(Link::PauseBeforeFrameMs); });
    // Anything that arrived before the frame leaves, a late letter from an earlier exchange
    // above all, would otherwise be taken as this frame's verdict.
    guard.step([&] { DiscardWaiting(link.port); });
    guard.step([&] { SendRaw(link.port, frame); });
    QByteArray response;
    for (int reads = 0; reads < Link::ReadsPerFrame; ++reads) {
        guard.step([&] { response = GetResponse(link.port, link.clock); });
        if (VerdictOf(response) != Verdict::None)
            break;
        guard.step([&] { WaitMs(Link::PauseBetweenReadsMs); });
    }
    return VerdictOf(response);
}

} // namespace quorvex
