#include "serial/flashing_sequence.h"
#include "base/catalogue.h"
#include "base/conversions.h"
#include "base/identity.h"
#include "base/sleep.h"
#include "serial/firmware_transfer.h"
#include "serial/packet_exchange.h"

#include <algorithm>

namespace quorvex {

bool IsHelloAnswer(const QByteArray& response) {
    return response.size() == Hello::AnswerLength &&
           (response.contains(Link::Accepted) || response.contains('k'));
}

QString CountdownText(int attempt, int attempts) {
    return QStringLiteral("Please reset the unit... (%1 seconds)").arg(attempts - attempt);
}

QString RefusalText(const QString& unit, const QString& chip, const QString& package) {
    const QString crlf = QStringLiteral("\r\n");
    const QString tabs = QStringLiteral("\t\t");
    return QStringLiteral("Connected to : ") + crlf + tabs + unit + crlf + tabs + chip + crlf +
           crlf + QStringLiteral("Firmware file for : ") + crlf + tabs + package + crlf + crlf +
           QStringLiteral("Please obtain correct firmware for ") + unit + QStringLiteral(" with ") +
           chip + QStringLiteral(" chip.") + crlf + crlf + QStringLiteral("Upload aborted.");
}

SerialFlashResult CallUnitAndWriteFirmware(const SerialLink& link, const LoadedFirmware& fw,
                                           FlashReport& report, int helloAttempts) {
    const Place place =
        Place::Module(QStringLiteral("LoadAndSendFirmwareSer"), QStringLiteral("modFW"));
    Guard guard(link.log, place);
    const DFFHeader& header = fw.Header;
    const int attempts = std::max(1, helloAttempts);
    SerialFlashResult result;
    int attempt = 0;
    bool transferred = false;
    bool rejected = false;
    QString chipName;
    // The device went away under the open port: no hello can be answered any more.
    bool gone = false;
    const auto deviceGone = [&](const Failure& f) {
        gone = gone || f.number == FailureNo::DeviceUnavailable;
        return false;
    };

    do {
        // Between hellos: a unit that has not answered has been sent nothing but hellos.
        if (StopAsked(link.stop)) {
            result.outcome = SerialFlashOutcome::Interrupted;
            return result;
        }
        // A late answer to an earlier hello would otherwise merge with this one's, and two
        // answers are no answer. Only what waits before the hello goes: from its first byte on,
        // whatever comes is its answer, however soon, and whenever the port says it has drained.
        guard.step([&] { DiscardWaiting(link.port); }, deviceGone);
        if (!gone)
            guard.step([&] { SendAndDrain(link.port, QByteArray(1, Hello::Byte)); }, deviceGone);
        QByteArray response;
        if (!gone)
            guard.step([&] { response = GetResponse(link.port, link.clock); }, deviceGone);
        if (!gone && !IsHelloAnswer(response)) {
            guard.step([&] { WaitMs(Hello::PauseAfterSilenceMs); });
            // A unit that answers after the window has closed has left hello mode already and
            // will not answer the next hello: an answer waiting now is the one to this hello.
            // Anything else is thrown away here, as before the next hello.
            guard.step([&] { response = TakeWaiting(link.port); }, deviceGone);
        }
        if (gone) {
            guard.step([&] { report.error(Hello::PortGoneText, AppTitle()); });
            result.outcome = SerialFlashOutcome::PortGone;
            return result;
        }
        if (IsHelloAnswer(response)) {
            const auto identification = std::uint8_t(response.at(0));
            result.identification = identification;
            chipName = ChipModelName(LowNibble(identification));
            if (LowNibble(identification) != header.ChipId ||
                UnitIdToCode(HighNibble(identification)) != header.trimmedCode()) {
                const QString unit = ProductDisplayName(UnitIdToCode(HighNibble(identification)));
                const QString package = ProductDisplayName(header.trimmedCode());
                guard.step([&] {
                    report.error(RefusalText(unit, chipName, package), Hello::RefusalCaption);
                });
                result.outcome = SerialFlashOutcome::Refused;
                return result;
            }
            TransferCount written;
            guard.step([&] { transferred = SendFirmwareSer(link, fw, report, &written); });
            result.flashBlocks = written.flashBlocks;
            result.eepromBytes = written.eepromBytes;
            if (written.interrupted) {
                result.outcome = SerialFlashOutcome::Interrupted;
                return result;
            }
            rejected = written.rejected;
        }
        ++attempt;
        guard.step([&] { report.message(CountdownText(attempt, attempts)); });
    } while (!result.identification && attempt < attempts);

    // A stop during the last hello's wait cut the countdown short as any other would.
    if (!result.identification && StopAsked(link.stop)) {
        result.outcome = SerialFlashOutcome::Interrupted;
        return result;
    }

    if (transferred) {
        guard.step([&] {
            report.info(chipName + QStringLiteral(" flashed with firmware v") +
                        header.versionText() + QStringLiteral(" successfully."));
        });
        result.outcome = SerialFlashOutcome::Flashed;
        return result;
    }
    if (!result.identification) {
        const QString d = ProductDisplayName(header.trimmedCode());
        guard.step([&] {
            report.info(d + QStringLiteral(" was not reset in time or connected unit is not a ") +
                        d + QStringLiteral(" (wrong baud rate)"));
        });
        result.outcome = SerialFlashOutcome::NotReset;
        return result;
    }
    result.outcome =
        rejected ? SerialFlashOutcome::TransferRejected : SerialFlashOutcome::TransferFailed;
    return result;
}

} // namespace quorvex
