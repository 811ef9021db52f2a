#pragma once
// A serial port whose unit speaks in real time, from a thread of its own: what it says arrives
// at set times and wakes a reader that waits for it, whatever the reader's thread is busy with.
// drain() takes as long as the written bytes spend going out on the line.
#include "serial/serial_port.h"

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvex::testing {

class TimedSerialPort : public SerialPort {
  public:
    struct Arrival {
        int afterMs = 0; // link milliseconds from the reference point, not from the last arrival
        QByteArray bytes;
    };

    // Times are link milliseconds, each `factor` real ones, as on a SlowLinkClock of that
    // factor.
    explicit TimedSerialPort(int factor = 1);
    ~TimedSerialPort() override;

    // What the unit says to the bytes written since the last drain, timed from the drain's end.
    std::function<std::vector<Arrival>(const QByteArray&)> answer;
    // Bytes that come in while the next drain waits, timed from its start; used once.
    std::vector<Arrival> duringSend;
    // How long drain() takes: the written bytes' time on the line.
    int lineMs = 0;
    // The reader's thread is kept busy this long once it has read the first arrival and waits
    // again, as a thread taken up by other work would be.
    int stallMs = 0;

    void setCommPort(int n) override { number_ = n; }
    void setCommDevice(int n, const QString&) override { number_ = n; }
    int commPort() const override { return number_; }
    void setSettings(const QString& s) override { settings_ = s; }
    QString settings() const override { return settings_; }
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void output(const QByteArray& bytes) override;
    void drain() override;
    QByteArray input() override;
    int inBufferCount() override;
    bool waitForReadyRead(int ms) override;
    QString deviceName(int) const override { return QStringLiteral("/dev/null-timed"); }

    QByteArray written() const;

  private:
    using Clock = std::chrono::steady_clock;
    void schedule(const std::vector<Arrival>& arrivals, Clock::time_point from);
    void deliver();

    const int factor_;
    int number_ = 1;
    QString settings_ = QStringLiteral("9600,n,8,1");
    bool open_ = true;
    QByteArray unsent_;     // written since the last drain
    bool stallDue_ = false; // the first arrival has been read: the next wait stalls
    bool stalled_ = false;

    mutable std::mutex mutex_;
    std::condition_variable wake_;    // the delivering thread: something new is due
    std::condition_variable arrived_; // the reader: bytes have come
    std::multimap<Clock::time_point, QByteArray> due_;
    QByteArray incoming_;
    QByteArray written_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace quorvex::testing
