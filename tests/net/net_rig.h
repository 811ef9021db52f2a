#pragma once
// What the network tests share: a bounded wait that keeps events flowing, a resolver that
// asks no name server, and a TFTP client over a real UDP socket whose report records what it
// tells.
#include "base/loaded_firmware.h"
#include "base/stop_request.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/recording_log.h"
#include "support/recording_reports.h"

#include <QCoreApplication>
#include <QHash>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace quorvex::testing {

// A client for a network package of `image`, with the product code NYX2, its watchdog set to
// `watchdogMs` and the client talking to `serverPort` on 127.0.0.1.
struct ClientRig {
    ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* socket = nullptr);
    // An upload still under way is stopped and waited for.
    ~ClientRig();

    LoadedFirmware firmware;
    fakes::RecordingLog log;
    fakes::TableResolver resolver;
    SystemUdpSocket systemSocket{resolver};
    UdpSocket& socket;
    fakes::RecordingTftpReport report;
    TftpClient client;
    QString target = QStringLiteral("127.0.0.1");
    StopRequest stop;
    // How the upload ended; read once `ended`.
    TftpOutcome outcome = TftpOutcome::None;
    std::atomic<bool> ended{false};

    // Starts the upload of the firmware record's image to the target on a thread of its own,
    // as a front end's worker runs it, while this thread goes on running the simulated unit.
    void begin();
    // Runs events until the upload has returned (bounded by `ms`); true when it did.
    bool wait(int ms, int pollMs = 2);
    bool uploadAndWait(int ms, int pollMs = 2) {
        begin();
        return wait(ms, pollMs);
    }

  private:
    std::thread upload_;
};

} // namespace quorvex::testing
