#include "bootsim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quorvex::bootsim {

namespace {

constexpr char HelloByte = char(0xC1);
constexpr std::uint8_t EepromMarker = 0x40;
constexpr int FlashHeaderBytes = 3; // address high, address low, count
constexpr int EepromFrameBytes = 5; // 0x40, address, 0x01, value, checksum

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool Accepts(const Reply& reply) {
    bool k = false;
    for (const Chunk& c : reply) {
        if (c.bytes.contains('N') || c.bytes.contains('n'))
            return false;
        k = k || c.bytes.contains('K') || c.bytes.contains('k');
    }
    return k;
}

// Bytes a frame needs in all, once its first bytes are known; 0 while that is not yet clear.
int ExpectedLength(const QByteArray& partial) {
    if (partial.isEmpty())
        return 0;
    if (std::uint8_t(partial.at(0)) == EepromMarker)
        return EepromFrameBytes;
    if (partial.size() < FlashHeaderBytes)
        return 0;
    return FlashHeaderBytes + std::uint8_t(partial.at(2)) + 1;
}

} // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)), flash_(FlashBytes, char(0xFF)),
      eeprom_(EepromBytes, char(0xFF)), eepromWritten_(EepromBytes, 0) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(QString* error) {
    if (!pty_.open(error))
        return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = QStringLiteral("pipe failed");
        pty_.close();
        return false;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void Simulator::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        wake();
        thread_.join();
    }
    if (wakeRead_ >= 0) {
        ::close(wakeRead_);
        ::close(wakeWrite_);
        wakeRead_ = wakeWrite_ = -1;
    }
    pty_.close();
}

void Simulator::inject(const QByteArray& bytes, int delayMs) {
    {
        std::lock_guard lock(mutex_);
        pending_.emplace(NowUs() + std::int64_t(delayMs) * 1000, bytes);
    }
    wake();
}

void Simulator::wake() {
    const char b = 0;
    // A pipe too full to take the byte holds a wake-up already: nothing is lost without it.
    if (::write(wakeWrite_, &b, 1) < 0)
        return;
}

void Simulator::setFrameReply(int frame, Reply reply) {
    std::lock_guard lock(mutex_);
    options_.frameReplies[frame] = std::move(reply);
}

QByteArray Simulator::flash() const {
    std::lock_guard lock(mutex_);
    return flash_;
}
QByteArray Simulator::eeprom() const {
    std::lock_guard lock(mutex_);
    return eeprom_;
}
QByteArray Simulator::eepromWritten() const {
    std::lock_guard lock(mutex_);
    return eepromWritten_;
}
std::vector<FrameRecord> Simulator::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}
int Simulator::hellos() const {
    std::lock_guard lock(mutex_);
    return hellos_;
}
QByteArray Simulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::int64_t Simulator::byteUs() const {
    return options_.baud > 0 ? std::int64_t(10) * 1000000 / options_.baud : 0;
}

int Simulator::pollTimeoutMs() const {
    std::int64_t due = -1;
    {
        std::lock_guard lock(mutex_);
        if (!pending_.empty())
            due = pending_.begin()->first;
    }
    if (!inbound_.empty())
        due = due < 0 ? inbound_.begin()->first : std::min(due, inbound_.begin()->first);
    if (!partial_.isEmpty()) {
        const std::int64_t drop =
            partialSinceUs_ + std::int64_t(options_.dropPartialFrameAfterMs) * 1000;
        due = due < 0 ? drop : std::min(due, drop);
    }
    if (due < 0)
        return -1;
    const std::int64_t left = due - NowUs();
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

void Simulator::run() {
    char buf[4096];
    while (!stopping_) {
        pollfd fds[2] = {{pty_.masterFd(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, pollTimeoutMs());
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN)
            while (::read(wakeRead_, buf, sizeof buf) > 0) {
            }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(pty_.masterFd(), buf, sizeof buf);
            if (n > 0 && options_.baud > 0) {
                // Each byte reaches the unit ten bit times after the one before it.
                for (ssize_t i = 0; i < n; ++i) {
                    inboundFreeUs_ = std::max(inboundFreeUs_, NowUs()) + byteUs();
                    inbound_.emplace(inboundFreeUs_, buf[i]);
                }
            } else if (n > 0) {
                take(buf, int(n));
            }
        }
        takeDue();
        if (unplugged_) {
            pty_.close();
            break;
        }
        if (!partial_.isEmpty() &&
            NowUs() - partialSinceUs_ >= std::int64_t(options_.dropPartialFrameAfterMs) * 1000)
            partial_.clear();
        flushDue();
    }
}

void Simulator::takeDue() {
    const std::int64_t now = NowUs();
    while (!inbound_.empty() && inbound_.begin()->first <= now && !unplugged_) {
        const char b = inbound_.begin()->second;
        inbound_.erase(inbound_.begin());
        take(&b, 1);
    }
}

void Simulator::flushDue() {
    std::vector<QByteArray> due;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t now = NowUs();
        while (!pending_.empty() && pending_.begin()->first <= now) {
            due.push_back(pending_.begin()->second);
            pending_.erase(pending_.begin());
        }
    }
    for (const QByteArray& bytes : due)
        pty_.write(bytes);
}

void Simulator::schedule(const Reply& reply) {
    std::int64_t at = NowUs() + std::int64_t(options_.turnaroundMs) * 1000;
    std::lock_guard lock(mutex_);
    for (const Chunk& c : reply) {
        at += std::int64_t(c.delayMs) * 1000;
        if (options_.baud <= 0) {
            pending_.emplace(at, c.bytes);
            continue;
        }
        // On a modelled line a byte arrives once its ten bits are over, after the one before.
        for (char b : c.bytes) {
            outboundFreeUs_ = std::max(outboundFreeUs_, at) + byteUs();
            pending_.emplace(outboundFreeUs_, QByteArray(1, b));
        }
    }
}

void Simulator::take(const char* data, int n) {
    {
        std::lock_guard lock(mutex_);
        received_.append(data, n);
    }
    for (int i = 0; i < n; ++i) {
        if (partial_.isEmpty()) {
            if (data[i] == HelloByte) {
                int number;
                Reply reply;
                {
                    std::lock_guard lock(mutex_);
                    number = hellos_++;
                    if (number == options_.unplugAtHello) {
                        unplugged_ = true;
                        return;
                    }
                    const auto it = options_.helloReplies.find(number);
                    if (it != options_.helloReplies.end())
                        reply = it->second;
                    else if (number + 1 >= options_.answerHellosFrom)
                        reply = Now(QByteArray(1, char(options_.identification)) + 'K');
                }
                schedule(reply);
                continue;
            }
            partialSinceUs_ = NowUs();
            std::lock_guard lock(mutex_);
            const auto stray = options_.strayAtFrame.find(int(frames_.size()));
            if (stray != options_.strayAtFrame.end()) {
                std::int64_t at = partialSinceUs_;
                for (const Chunk& c : stray->second)
                    pending_.emplace(at += std::int64_t(c.delayMs) * 1000, c.bytes);
            }
        }
        partial_.append(data[i]);
        const int expected = ExpectedLength(partial_);
        if (expected > 0 && partial_.size() >= expected) {
            completeFrame();
            if (unplugged_)
                return;
        }
    }
}

void Simulator::completeFrame() {
    FrameRecord record;
    record.bytes = partial_;
    partial_.clear();
    std::uint32_t sum = 0;
    for (char b : record.bytes)
        sum += std::uint8_t(b);
    record.checksumOk = sum % 256 == 0;
    record.eeprom = std::uint8_t(record.bytes.at(0)) == EepromMarker;
    if (record.eeprom)
        record.address = std::uint8_t(record.bytes.at(1));
    else
        record.address = std::uint8_t(record.bytes.at(0)) * 256 + std::uint8_t(record.bytes.at(1));

    Reply reply = Now(record.checksumOk ? QByteArray("K") : QByteArray("N"));
    {
        std::lock_guard lock(mutex_);
        const int number = int(frames_.size());
        if (number == options_.unplugAtFrame) {
            unplugged_ = true;
            frames_.push_back(record);
            return;
        }
        if (const auto it = options_.frameReplies.find(number); it != options_.frameReplies.end())
            reply = it->second;
        if (record.checksumOk && Accepts(reply))
            keep(record);
        frames_.push_back(record);
    }
    schedule(reply);
}

void Simulator::keep(const FrameRecord& record) {
    if (record.eeprom) {
        eeprom_[record.address] = record.bytes.at(3);
        eepromWritten_[record.address] = 1;
        return;
    }
    const int start = record.address * 2;
    const int count = std::uint8_t(record.bytes.at(2));
    for (int j = 0; j < count && start + j < FlashBytes; ++j)
        flash_[start + j] = record.bytes.at(FlashHeaderBytes + j);
}

} // namespace quorvex::bootsim
