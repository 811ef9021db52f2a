#include "net/tftp_client.h"

#include "net/socket_errors.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace quorvex {

using namespace tftp;

namespace {

// Sleeps `ms` unless a stop is asked for first; returns whether it was.
bool PauseUnlessStopped(const std::stop_token& stop, int ms) {
    std::mutex m;
    std::condition_variable_any wake;
    std::unique_lock lock(m);
    return wake.wait_for(lock, stop, std::chrono::milliseconds(ms),
                         [&stop] { return stop.stop_requested(); });
}

} // namespace

// The transfer's report and log as its own thread sees them. Every step goes straight to the
// report, on this thread: the display decides what a person can read, and whether to pass it
// on. Log records are handed to the client's thread. The outcome's text waits for the end and
// goes with it.
class TftpClient::Relay : public TftpReport, public ErrorSink {
  public:
    explicit Relay(TftpClient& client) : client_(client) {}

    // On this thread a status is always the outcome's text. A stop from outside that comes
    // after the end drops whatever is still on its way; kept with the end, the text is told
    // by whoever takes it.
    void status(const QString& text) override { outcomeText = text; }
    void step(int block, const QString& text) override { client_.report_.step(block, text); }
    // The thread tells of the end itself, once it is done with the socket.
    void ended() override {}
    void LogError(const QString& message) override {
        TftpClient* client = &client_;
        QMetaObject::invokeMethod(
            client_.home_.get(), [client, message] { client->log_.LogError(message); },
            Qt::QueuedConnection);
    }
    QString outcomeText;

  private:
    TftpClient& client_;
};

TftpClient::TftpClient(UdpSocket& socket, ErrorSink& log, TftpReport& report, int serverPort,
                       int rebootPauseMs)
    : socket_(socket), log_(log), report_(report), serverPort_(serverPort),
      rebootPauseMs_(rebootPauseMs), home_(std::make_unique<QObject>()) {
    home_->setObjectName(QStringLiteral("tftpClient"));
}

TftpClient::~TftpClient() {
    stopThread();
}

bool TftpClient::BeginUpload(const QByteArray& image, const QString& productCode,
                             const QString& target) {
    // A transfer still under way is superseded quietly: the caller has taken the window for
    // this one already.
    stopThread();
    ending_.reset();
    inProgress_ = false;
    outcome_ = TftpOutcome::None;
    writeRequested_ = false;
    const auto refuse = [this](const QString& text) {
        socket_.close();
        outcome_ = TftpOutcome::Failed;
        report_.status(text);
        report_.ended();
        return false;
    };
    if (image.size() > MaxImageSize) {
        // Its last blocks would need numbers that the two-byte field cannot hold.
        return refuse(QStringLiteral("Status: Image too large for TFTP (%1 bytes; at most %2).")
                          .arg(image.size())
                          .arg(MaxImageSize));
    }
    try {
        StartTftpTransfer(target);
    } catch (const FailureError& e) {
        return refuse(WinsockErrorText(e.failure().number));
    }
    inProgress_ = true;
    const int generation = ++generation_;
    try {
        thread_ = std::jthread(
            [this, job = Job{image, productCode, generation, watchdogMs_, stallMs_, stopRequest_}](
                std::stop_token stop) { run(std::move(stop), job); });
    } catch (const std::system_error&) {
        inProgress_ = false;
        return refuse(WinsockErrorText(0));
    }
    return true;
}

void TftpClient::StartTftpTransfer(const QString& target) {
    socket_.close();
    socket_.setRemoteHost(target);
    socket_.setRemotePort(serverPort_);
    socket_.open();
    report_.status(
        QStringLiteral("Status: Awaiting response from %1...").arg(socket_.remoteHost()));
    socket_.send(QByteArray(RebootRequest1));
    socket_.send(QByteArray(RebootRequest2));
    socket_.close();
}

void TftpClient::run(std::stop_token stop, const Job& job) {
    const int generation = job.generation;
    Relay relay(*this);
    TftpTransfer transfer(socket_, relay, relay, job.image, job.watchdogMs, job.stallMs);

    if (PauseUnlessStopped(stop, rebootPauseMs_))
        return;

    const auto interrupted = [&] {
        if (!StopAsked(job.stop))
            return false;
        transfer.finish(TftpOutcome::Interrupted, QString());
        return true;
    };
    if (!interrupted()) {
        try {
            socket_.open();
            writeRequested_ = true;
            transfer.SendWriteRequest(job.productCode);
        } catch (const FailureError& e) {
            transfer.finish(TftpOutcome::Failed, WinsockErrorText(e.failure().number));
        }
    }

    while (transfer.inProgress() && !stop.stop_requested() && !interrupted()) {
        std::optional<QByteArray> datagram;
        int failed = 0;
        Guard guard(relay, Place::Form(QStringLiteral("tftp_DataArrival")));
        const bool received = guard.step([&] { datagram = socket_.receive(ReceiveSliceMs); },
                                         [&failed](const Failure& f) {
                                             failed = f.number;
                                             return false;
                                         });
        if (!received) {
            transfer.finish(TftpOutcome::Failed, WinsockErrorText(failed));
            break;
        }
        if (datagram)
            transfer.tftp_DataArrival(*datagram);
        transfer.tmrResponse_Timer();
    }
    socket_.close();
    // Kept even when a stop comes now: the transfer is over, and whoever stopped it finds it.
    if (!transfer.inProgress())
        ending_ = Ending{transfer.outcome(), relay.outcomeText};
    if (stop.stop_requested())
        return; // whoever stopped the transfer gives the window back
    TftpClient* client = this;
    QMetaObject::invokeMethod(
        home_.get(), [client, generation] { client->ended(generation); }, Qt::QueuedConnection);
}

void TftpClient::ended(int generation) {
    if (generation != generation_)
        return;
    if (thread_.joinable())
        thread_.join();
    giveBack();
}

void TftpClient::giveBack() {
    inProgress_ = false;
    writeRequested_ = false;
    if (const std::optional<Ending> ending = std::exchange(ending_, std::nullopt)) {
        outcome_ = ending->outcome;
        if (!ending->status.isNull())
            report_.status(ending->status);
    }
    report_.ended();
}

void TftpClient::stopThread() {
    ++generation_;
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void TftpClient::WaitForEnd() {
    if (!inProgress_)
        return;
    if (thread_.joinable())
        thread_.join();
    // What the transfer's thread queued for this one (log records, its end) is delivered now:
    // only this client's calls, so nothing else of the caller's runs in the middle.
    QCoreApplication::sendPostedEvents(home_.get());
    if (inProgress_)
        giveBack();
}

void TftpClient::EndTftpTransfer() {
    if (!inProgress_)
        return;
    // The steps still on their way are dropped: none may follow the outcome's text.
    stopThread();
    socket_.close();
    giveBack();
}

} // namespace quorvex
