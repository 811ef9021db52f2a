#pragma once
// What the network tests share: a bounded wait that keeps events flowing, a resolver that
// asks no name server, and a TFTP client over a real UDP socket whose report records what it
// tells.
#include "base/loaded_firmware.h"
#include "net/system_udp_socket.h"
#include "net/tftp_client.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/recording_log.h"
#include "support/recording_reports.h"

#include <QCoreApplication>
#include <QHash>
#include <functional>
#include <memory>

namespace quorvex::testing {

// A client for a network package of `image`, with the product code NYX2, its watchdog set to
// `watchdogMs` and the client talking to `serverPort` on 127.0.0.1.
struct ClientRig {
    ClientRig(const QByteArray& image, int serverPort, int watchdogMs, UdpSocket* socket = nullptr);

    LoadedFirmware firmware;
    fakes::RecordingLog log;
    fakes::TableResolver resolver;
    SystemUdpSocket systemSocket{resolver};
    UdpSocket& socket;
    fakes::RecordingTftpReport report;
    TftpClient client;
    QString target = QStringLiteral("127.0.0.1");

    // Starts the upload of the firmware record's image to the target.
    bool begin() {
        return client.BeginUpload(firmware.ProgramImage, firmware.Header.trimmedCode(), target);
    }
    // Starts the upload and runs events until it ends (bounded by `ms`); returns whether it did.
    bool uploadAndWait(int ms, int pollMs = 2);
};

} // namespace quorvex::testing
