#include "serial/flashing_sequence.h"
#include "base/conversions.h"
#include "base/paced_wait.h"
#include "base/catalogue.h"
#include "serial/firmware_transfer.h"
#include "serial/packet_exchange.h"

namespace quorvex {

bool IsHelloAnswer(const QByteArray& response) {
    return response.size() == Hello::AnswerLength &&
           (response.contains(Link::Accepted) || response.contains('k'));
}

QString CountdownText(int attempt) {
    return QStringLiteral("Please reset the unit... (%1 seconds)").arg(Hello::Attempts - attempt);
}

QString RefusalText(const QString& unit, const QString& chip, const QString& package) {
    const QString crlf = QStringLiteral("\r\n");
    const QString tabs = QStringLiteral("\t\t");
    return QStringLiteral("Connected to : ") + crlf + tabs + unit + crlf + tabs + chip + crlf +
           crlf + QStringLiteral("Firmware file for : ") + crlf + tabs + package + crlf + crlf +
           QStringLiteral("Please obtain correct firmware for ") + unit + QStringLiteral(" with ") +
           chip + QStringLiteral(" chip.") + crlf + crlf + QStringLiteral("Upload aborted.");
}

namespace {

void RefusePackage(Session& s, Guard& guard, std::uint8_t identification, const QString& chip) {
    const QString unit = ProductDisplayName(UnitIdToCode(HighNibble(identification)));
    const QString package = ProductDisplayName(s.firmware.Header.trimmedCode());
    guard.step([&] {
        s.prompts.message(RefusalText(unit, chip, package), Icon::Error, Hello::RefusalCaption);
    });
    guard.step([&] {
        s.window.setSerialPanelVisible(false);
        s.window.setEthPanelVisible(false);
    });
    guard.step([&] { s.firmware.releaseImages(); });
    guard.step([&] { s.window.setUpdateCaption(QStringLiteral("Browse for DFF file")); });
}

} // namespace

SerialFlashOutcome LoadAndSendFirmwareSer(Session& s) {
    Guard guard(s.log,
                Place::Module(QStringLiteral("LoadAndSendFirmwareSer"), QStringLiteral("modFW")));
    const DFFHeader& header = s.firmware.Header;
    int attempt = 0;
    bool identified = false;
    bool transferred = false;
    QString chipName;

    do {
        // A late answer to an earlier hello would otherwise merge with this one's, and two
        // answers are no answer.
        guard.step([&] { DiscardWaiting(s); });
        guard.step([&] { SendRaw(s, QByteArray(1, Hello::Byte)); });
        QByteArray response;
        guard.step([&] { response = GetResponse(s); });
        if (!IsHelloAnswer(response)) {
            guard.step([&] { WaitMs(Hello::PauseAfterSilenceMs); });
            // A unit that answers after the window has closed has left hello mode already and
            // will not answer the next hello: an answer waiting now is the one to this hello.
            // Anything else is thrown away here, as before the next hello.
            guard.step([&] { response = TakeWaiting(s); });
        }
        if (IsHelloAnswer(response)) {
            const auto identification = std::uint8_t(response.at(0));
            chipName = ChipModelName(LowNibble(identification));
            identified = true;
            if (LowNibble(identification) != header.ChipId ||
                UnitIdToCode(HighNibble(identification)) != header.trimmedCode()) {
                RefusePackage(s, guard, identification, chipName);
                return SerialFlashOutcome::Refused;
            }
            guard.step([&] { transferred = SendFirmwareSer(s); });
        }
        ++attempt;
        guard.step([&] { s.window.setMessage(CountdownText(attempt)); });
    } while (!identified && attempt < Hello::Attempts);

    if (transferred) {
        guard.step([&] {
            ShowInfo(s.prompts, chipName + QStringLiteral(" flashed with firmware v") +
                                    header.versionText() + QStringLiteral(" successfully."));
        });
        return SerialFlashOutcome::Flashed;
    }
    if (!identified) {
        const QString d = ProductDisplayName(header.trimmedCode());
        guard.step([&] {
            ShowInfo(s.prompts,
                     d + QStringLiteral(" was not reset in time or connected unit is not a ") + d +
                         QStringLiteral(" (wrong baud rate)"));
        });
        return SerialFlashOutcome::NotReset;
    }
    return SerialFlashOutcome::TransferFailed;
}

} // namespace quorvex
