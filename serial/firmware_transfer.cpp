#include "serial/firmware_transfer.h"
#include "base/conversions.h"
#include "base/identity.h"
#include "serial/packet_exchange.h"

#include <algorithm>

namespace quorvex {

QByteArray FlashBlockPacket(const QByteArray& image, int offset) {
    const std::int32_t wordAddress = offset / 2;
    QByteArray packet;
    packet.reserve(3 + Transfer::BlockSize);
    packet.append(char(HighByte(wordAddress)));
    packet.append(char(LowByte(wordAddress)));
    packet.append(char(Transfer::FlashDataCount));
    for (int i = offset; i < offset + Transfer::BlockSize; ++i)
        packet.append(i < image.size() ? image.at(i) : char(Transfer::BlankByte));
    return packet;
}

bool IsBlankBlock(const QByteArray& image, int offset) {
    const int end = std::min<int>(int(image.size()), offset + Transfer::BlockSize);
    for (int i = offset; i < end; ++i)
        if (std::uint8_t(image.at(i)) != Transfer::BlankByte)
            return false;
    return true;
}

TransferCount FramesToSend(const LoadedFirmware& fw) {
    TransferCount count;
    // The blocks and bytes SendFirmwareSer walks, skipped as it skips them.
    const int lastIndex = int(fw.ProgramImage.size()) - 1;
    for (int offset = 0; offset < lastIndex; offset += Transfer::BlockSize)
        if (!IsBlankBlock(fw.ProgramImage, offset))
            ++count.flashBlocks;
    for (int address = 0; address < fw.EepromImage.size(); ++address)
        if (address < fw.EepromPresent.size() && fw.EepromPresent.at(address) != 0)
            ++count.eepromBytes;
    return count;
}

QByteArray EepromBytePacket(int address, std::uint8_t value) {
    QByteArray packet;
    packet.append(char(Transfer::EepromMarker));
    packet.append(char(std::uint8_t(address)));
    packet.append(char(Transfer::EepromDataCount));
    packet.append(char(value));
    return packet;
}

QList<int> UnsendableEepromAddresses(const LoadedFirmware& fw) {
    QList<int> out;
    for (int a = Transfer::HighestEepromAddress + 1; a < fw.EepromPresent.size(); ++a)
        if (fw.EepromPresent.at(a) != 0)
            out.append(a);
    return out;
}

QString EepromOutOfRangeText(const QList<int>& addresses) {
    const int first = addresses.isEmpty() ? 0 : addresses.first();
    return QStringLiteral("The DFF file holds EEPROM data at address 0x%1, beyond 0xFF, the "
                          "highest address the unit's bootloader can write (%2 bytes in all).  "
                          "Upload aborted.")
        .arg(QString::number(first, 16).toUpper())
        .arg(addresses.size());
}

namespace {

// Counts what is logged while it passes it on: a transfer that logged a failure anywhere,
// the exchange beneath it included, has not shown that the unit holds the firmware.
class CountingSink : public ErrorSink {
  public:
    explicit CountingSink(ErrorSink& next) : next_(next) {}
    void LogError(const QString& message) override {
        ++count;
        next_.LogError(message);
    }
    int count = 0;

  private:
    ErrorSink& next_;
};

// The full scale of the bar: the package's end of program data, or the image's length for a
// package without program records.
qint64 ProgressScale(const LoadedFirmware& fw) {
    return fw.ProgramEnd > 0 ? qint64(fw.ProgramEnd) : qint64(fw.ProgramImage.size());
}

QString VerdictText(Verdict verdict, const QString& silentText) {
    return verdict == Verdict::Rejected ? Transfer::RejectedText : silentText;
}

} // namespace

bool SendFirmwareSer(const SerialLink& outer, const LoadedFirmware& fw, FlashReport& report,
                     TransferCount* written) {
    CountingSink counted(outer.log);
    // Line noise is recorded but is no failure of the transfer: the frames' verdicts still
    // count.
    const SerialLink link{outer.port, counted, outer.clock, outer.notes ? outer.notes : &outer.log,
                          outer.stop};
    Guard guard(counted, Place::Module(QStringLiteral("SendFirmwareSer"), QStringLiteral("modFW")));
    TransferCount count;

    // Refused before anything is written: an address cut to one byte would land the value at
    // another address of the unit's EEPROM.
    const QList<int> unsendable = UnsendableEepromAddresses(fw);
    if (!unsendable.isEmpty()) {
        guard.step([&] { report.error(EepromOutOfRangeText(unsendable), AppTitle()); });
        return false;
    }

    guard.step([&] { report.message(Transfer::FlashingText); });
    const qint64 scale = ProgressScale(fw);
    guard.step([&] { report.progress(0, scale); });

    // One exchange for the whole transfer: a frame's "K" stands only once nothing has
    // contradicted it before the next frame, or, after the last, within one response window.
    FrameExchange frames(link);
    const auto rejectedAfterAll = [&](int& accepted) {
        --accepted;
        count.rejected = true;
        guard.step([&] { report.error(Transfer::RejectedText, AppTitle()); });
    };

    bool result = true;
    const int lastIndex = int(fw.ProgramImage.size()) - 1;
    for (int offset = 0; offset < lastIndex; offset += Transfer::BlockSize) {
        guard.step([&] { report.progress(std::min<qint64>(offset, scale), scale); });
        if (IsBlankBlock(fw.ProgramImage, offset))
            continue;
        if (StopAsked(link.stop)) {
            count.interrupted = true;
            break;
        }
        FrameExchange::Result sent;
        guard.step([&] { sent = frames.send(FlashBlockPacket(fw.ProgramImage, offset)); });
        if (sent.earlierRejected) {
            result = false;
            rejectedAfterAll(count.flashBlocks);
            break;
        }
        if (sent.verdict == Verdict::Accepted) {
            ++count.flashBlocks;
            continue;
        }
        result = false;
        count.rejected = sent.verdict == Verdict::Rejected;
        guard.step([&] {
            report.error(VerdictText(sent.verdict, Transfer::FlashSilentText), AppTitle());
        });
        break;
    }
    result = result && !count.interrupted;
    // The last flash frame, too, is accepted only once the unit has had time to take it back.
    if (result && frames.lastRejected()) {
        result = false;
        rejectedAfterAll(count.flashBlocks);
    }

    if (result) {
        for (int address = 0; address < fw.EepromImage.size(); ++address) {
            if (address >= fw.EepromPresent.size() || fw.EepromPresent.at(address) == 0)
                continue;
            if (StopAsked(link.stop)) {
                count.interrupted = true;
                result = false;
                break;
            }
            const QByteArray packet =
                EepromBytePacket(address, std::uint8_t(fw.EepromImage.at(address)));
            FrameExchange::Result sent;
            guard.step([&] { sent = frames.send(packet); });
            // A byte taken back does not end the pass, as a byte refused at once does not: this
            // one is still sent.
            if (sent.earlierRejected) {
                result = false;
                rejectedAfterAll(count.eepromBytes);
                guard.step([&] { sent = frames.send(packet); });
            }
            if (sent.verdict == Verdict::Accepted) {
                ++count.eepromBytes;
                continue;
            }
            result = false;
            count.rejected = count.rejected || sent.verdict == Verdict::Rejected;
            guard.step([&] {
                report.error(VerdictText(sent.verdict, Transfer::EepromSilentText), AppTitle());
            });
            // A unit that misses a byte may take the next; a device that has gone takes none,
            // and the technician is told once, not once per byte.
            if (sent.verdict == Verdict::PortGone)
                break;
        }
        if (!count.interrupted && frames.lastRejected()) {
            result = false;
            rejectedAfterAll(count.eepromBytes);
        }
    }

    // The verdicts alone would call this a success; the technician must not be left thinking so.
    if (result && counted.count > 0) {
        result = false;
        report.error(Transfer::UnconfirmedText, AppTitle());
    }
    if (written)
        *written = count;
    return result;
}

} // namespace quorvex
