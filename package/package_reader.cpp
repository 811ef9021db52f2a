#include "package/package_reader.h"
#include "base/catalogue.h"
#include "package/cipher.h"
#include "package/file_failure.h"
#include "package/intel_hex.h"

#include <QFile>
#include <algorithm>
#include <new>

namespace quorvex {

namespace {

QString InvalidPackageMessage(const DFFHeader& h) {
    return QStringLiteral("Invalid DFF file.  Please obtain the latest ") +
           ProductDisplayName(h.trimmedCode()) + QStringLiteral(" software and DFF files.");
}

QString DecodeFailureMessage(const Failure& f) {
    return QStringLiteral("Unable to decode the DFF file. ") + f.description;
}

QString TooLargeMessage(qint64 size, qint64 limit, bool network) {
    return QStringLiteral("The firmware in this DFF file is %1 bytes long; %2 at most %3 bytes.  "
                          "Unable to load the DFF file.")
        .arg(size)
        .arg(network ? QStringLiteral("a network unit takes")
                     : QStringLiteral("a serial unit's firmware file has"))
        .arg(limit);
}

QString OutOfMemoryMessage() {
    return QStringLiteral("Not enough memory to load the DFF file.");
}

} // namespace

QString AccessMessage(const Failure& f) {
    return QStringLiteral("Unable to access the DFF file. ") + f.description;
}

bool IsShownToTheUser(const Failure& f) {
    return f.number == FailureNo::FileAlreadyOpen || f.number == FailureNo::PermissionDenied;
}

namespace {

LoadRefusal Refusal(LoadFault fault, QString message) {
    return LoadRefusal{fault, std::move(message), std::nullopt};
}

std::variant<DecodedPackage, LoadRefusal> Decode(const QString& path, const DFFHeader& header,
                                                 ProgressDisplay* progress, ErrorSink& log) {
    // A failing key check leaves the body as it was, so whichever key fits leaves its body.
    QByteArray body;
    Failure whyThree;
    Failure whyTwo;
    DecodedPackage out;
    out.firmware.Header = header;
    const bool threePart = DecodePackageBody(path, body, PackageKey(header, KeyParts::Three),
                                             progress, log, &whyThree);
    const bool twoPart =
        DecodePackageBody(path, body, PackageKey(header, KeyParts::Two), progress, log, &whyTwo);
    if (!threePart && !twoPart) {
        // A key that fits but a package that could not be read to its end is no fault of its
        // key.
        const Failure& why = whyThree.number != 0 ? whyThree : whyTwo;
        if (why.number == 0)
            return Refusal(LoadFault::WrongKey, InvalidPackageMessage(header));
        LoadRefusal refusal = Refusal(LoadFault::Unreadable, DecodeFailureMessage(why));
        // A failure before the key check (the file gone) fails both attempts alike; one after
        // it fails only the attempt whose key passed.
        if ((whyThree.number != 0) != (whyTwo.number != 0))
            refusal.key = whyThree.number != 0 ? KeyParts::Three : KeyParts::Two;
        return refusal;
    }
    out.key = threePart ? KeyParts::Three : KeyParts::Two;
    const auto refused = [&out](LoadFault fault, QString message) {
        LoadRefusal refusal = Refusal(fault, std::move(message));
        refusal.key = out.key;
        return refusal;
    };

    LoadedFirmware& fw = out.firmware;
    if (header.ChipId == NetworkChipId) {
        // The package was measured before it was decoded; one that grew since is not taken in.
        if (body.size() > MaxNetworkImageSize) {
            Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
            guard.log(Failure{FailureNo::Overflow, DefaultDescription(FailureNo::Overflow)});
            return refused(LoadFault::Unreadable, QString());
        }
        fw.ProgramImage = std::move(body);
        return out;
    }
    HexImages hex = ReadIntelHex(body);
    body = QByteArray();
    if (!hex.ok)
        return refused(LoadFault::Damaged, hex.message);
    const int unwritable = FirstUnwritableEepromAddress(hex.eepromPresent);
    if (unwritable >= 0)
        return refused(LoadFault::Damaged, UnwritableEepromMessage(unwritable));
    fw.ProgramImage = hex.program;
    fw.EepromImage = hex.eeprom;
    fw.EepromPresent = hex.eepromPresent;
    fw.ConfigImage = hex.config;
    fw.ProgramEnd = hex.programEnd;
    return out;
}

} // namespace

std::variant<PackageHead, LoadRefusal> ReadPackageHeader(const QString& path, ErrorSink& log) {
    Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    QFile package(path);
    PackageHead head;
    QString shown;
    const bool read = guard.step(
        [&] {
            if (!package.open(QIODevice::ReadOnly))
                RaiseFailure(OpenFailure(package, path, OpenFor::Reading));
            const QByteArray bytes = package.read(DFFHeader::Size);
            if (package.error() != QFileDevice::NoError)
                RaiseFailure(TransferFailure(package));
            if (bytes.size() < DFFHeader::Size)
                Raise(InputPastEndOfFile, QStringLiteral("Input past end of file"));
            head.header = DFFHeader::fromBytes(bytes);
            head.bodySize = std::max<qint64>(0, package.size() - BodyOffset);
        },
        [&shown](const Failure& f) {
            // Every failure here is told; only those the technician can act on go unlogged.
            shown = AccessMessage(f);
            return IsShownToTheUser(f);
        });
    if (!read)
        return Refusal(LoadFault::Unreadable, shown);
    return head;
}

std::optional<LoadRefusal> CheckBodySize(const PackageHead& head) {
    const bool network = head.header.ChipId == NetworkChipId;
    const qint64 limit = network ? MaxNetworkImageSize : MaxSerialBodySize;
    if (head.bodySize <= limit)
        return std::nullopt;
    return Refusal(LoadFault::Damaged, TooLargeMessage(head.bodySize, limit, network));
}

std::variant<DecodedPackage, LoadRefusal> DecodePackage(const QString& path,
                                                        const DFFHeader& header,
                                                        ProgressDisplay* progress, ErrorSink& log) {
    try {
        return Decode(path, header, progress, log);
    } catch (const std::bad_alloc&) {
        // What the load held is released by now.
        Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
        guard.log(Failure{FailureNo::OutOfMemory, DefaultDescription(FailureNo::OutOfMemory)});
        return Refusal(LoadFault::Damaged, OutOfMemoryMessage());
    }
}

} // namespace quorvex
