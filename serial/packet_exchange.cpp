#include "serial/packet_exchange.h"
#include "app/paced_wait.h"

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

bool Holds(const QByteArray& response, char upper) {
    return response.contains(upper) || response.contains(char(upper + ('a' - 'A')));
}

} // namespace

QString Verdict(const QByteArray& response) {
    if (Holds(response, Link::Rejected))
        return QStringLiteral("N");
    if (Holds(response, Link::Accepted))
        return QStringLiteral("K");
    return {};
}

void SendRaw(Session& s, const QByteArray& bytes) {
    if (!s.serComm.isOpen())
        return;
    // A longer string would overrun the count of written bytes: refuse it whole rather than
    // send part of a frame.
    if (bytes.size() > Link::MaxRawLength)
        Raise(FailureNo::Overflow);
    for (int i = 0; i < bytes.size(); ++i)
        s.serComm.output(bytes.mid(i, 1));
}

QByteArray GetResponse(Session& s) {
    QByteArray response;
    s.tmrResponse.stop();
    s.tmrResponse.setInterval(Link::ResponseWindowMs);
    s.tmrResponse.start();
    do {
        // The window's expiry is noticed here, like any other pending event.
        LetEventsRun();
        response += s.serComm.input();
        if (s.serComm.inBufferCount() == 0) {
            WaitMs(Link::QuietGapMs);
            if (s.serComm.inBufferCount() == 0 && !response.isEmpty())
                return response;
        }
    } while (s.tmrResponse.isActive());
    return response;
}

void DiscardWaiting(Session& s) {
    if (s.serComm.isOpen())
        s.serComm.input();
}

QString SendPacket(Session& s, const QByteArray& packet) {
    Guard guard(s.log, Place::Module(QStringLiteral("SendPacket"), QStringLiteral("modFW")));
    QByteArray frame;
    guard.step([&] { frame = Frame(packet); });
    guard.step([&] { WaitMs(Link::PauseBeforeFrameMs); });
    // Anything that arrived before the frame leaves, a late letter from an earlier exchange
    // above all, would otherwise be taken as this frame's verdict.
    guard.step([&] { DiscardWaiting(s); });
    guard.step([&] { SendRaw(s, frame); });
    QByteArray response;
    for (int reads = 0; reads < Link::ReadsPerFrame; ++reads) {
        guard.step([&] { response = GetResponse(s); });
        if (!Verdict(response).isEmpty())
            break;
        guard.step([&] { WaitMs(Link::PauseBetweenReadsMs); });
    }
    return Verdict(response);
}

} // namespace quorvex
