// quorvex-cli info: each package read as the window loads it, in a table or as JSON.
#include "base/catalogue.h"
#include "cli/commands.h"
#include "cli/load_status.h"
#include "cli/printed_report.h"
#include "cli/table.h"
#include "net/tftp_packets.h"
#include "serial/firmware_transfer.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvex::cli {

namespace {

// One package as `info` tells it.
struct Facts {
    QString path;
    std::optional<DFFHeader> header;
    int status = ExitOk;
    // The window's text for a package it refuses; may be empty (the window says nothing).
    QString reason;
    std::optional<KeyParts> key;
    std::optional<Package> package; // when valid
};

Facts FactsOf(const QString& path, OpenOutcome opened) {
    Facts f;
    f.path = path;
    if (auto* package = std::get_if<Package>(&opened)) {
        f.header = package->header();
        f.key = package->key();
        f.package = std::move(*package);
    } else if (const auto* refusal = std::get_if<PackageRefusal>(&opened)) {
        f.header = refusal->header;
        f.status = int(StatusOf(refusal->fault));
        f.reason = refusal->message;
        f.key = refusal->key;
    }
    return f;
}

QString KeyText(const std::optional<KeyParts>& key) {
    if (!key)
        return {};
    return *key == KeyParts::Three ? QStringLiteral("three-part") : QStringLiteral("two-part");
}

QString Hex(int value, int digits) {
    return QStringLiteral("0x%1")
        .arg(value, digits, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QStringLiteral("0X"), QStringLiteral("0x"));
}

struct Contents {
    TransferCount frames;
    int configWords = 0;
    int programEnd = 0;
};

Contents SerialContents(const LoadedFirmware& fw) {
    Contents c;
    c.frames = FramesToSend(fw);
    // A body without configuration records leaves the one zero byte the reader starts with.
    const qsizetype config = fw.ConfigImage.size();
    c.configWords = config <= 1 ? 0 : int((config + 1) / 2);
    c.programEnd = fw.ProgramEnd;
    return c;
}

QJsonObject FactsJson(const Facts& f) {
    QJsonObject o;
    o[QStringLiteral("package")] = f.path;
    o[QStringLiteral("valid")] = f.status == ExitOk;
    o[QStringLiteral("status")] = f.status;
    o[QStringLiteral("reason")] = f.reason;
    if (!f.header)
        return o;
    const DFFHeader& h = *f.header;
    const bool network = h.ChipId == NetworkChipId;
    o[QStringLiteral("productCode")] = h.trimmedCode();
    o[QStringLiteral("productName")] = ProductDisplayName(h.trimmedCode());
    o[QStringLiteral("chipId")] = int(h.ChipId);
    o[QStringLiteral("chip")] = ChipModelName(h.ChipId);
    o[QStringLiteral("version")] = h.versionText();
    o[QStringLiteral("kind")] = network ? QStringLiteral("network") : QStringLiteral("serial");
    o[QStringLiteral("key")] = f.key ? QJsonValue(KeyText(f.key)) : QJsonValue();
    if (!f.package)
        return o;
    const LoadedFirmware& fw = f.package->firmware();
    if (network) {
        o[QStringLiteral("imageSize")] = double(fw.ProgramImage.size());
        o[QStringLiteral("tftpBlocks")] = double(tftp::BlockCount(fw.ProgramImage.size()));
    } else {
        const Contents c = SerialContents(fw);
        o[QStringLiteral("flashBlocks")] = c.frames.flashBlocks;
        o[QStringLiteral("eepromBytes")] = c.frames.eepromBytes;
        o[QStringLiteral("configWords")] = c.configWords;
        o[QStringLiteral("programEnd")] = c.programEnd;
        o[QStringLiteral("highestAddress")] =
            c.programEnd > 0 ? QJsonValue(c.programEnd - 1) : QJsonValue();
    }
    return o;
}

QString ContentsText(const Package& package) {
    const LoadedFirmware& fw = package.firmware();
    if (package.kind() == UnitKind::Network) {
        const qint64 size = fw.ProgramImage.size();
        return QStringLiteral("%1 bytes, %2 TFTP blocks").arg(size).arg(tftp::BlockCount(size));
    }
    const Contents c = SerialContents(fw);
    return QStringLiteral("%1 flash blocks, %2 EEPROM bytes, %3 config words, %4")
        .arg(c.frames.flashBlocks)
        .arg(c.frames.eepromBytes)
        .arg(c.configWords)
        .arg(c.programEnd > 0 ? QStringLiteral("highest address %1").arg(Hex(c.programEnd - 1, 4))
                              : QStringLiteral("no program data"));
}

QStringList FactsRow(const Facts& f) {
    const QString name = QFileInfo(f.path).fileName();
    if (!f.header)
        return {name, {}, {}, {}, {}, {}, f.reason};
    const DFFHeader& h = *f.header;
    const QString product =
        QStringLiteral("%1 (%2)").arg(h.trimmedCode(), ProductDisplayName(h.trimmedCode()));
    const QString chip = QStringLiteral("%1 %2").arg(h.ChipId).arg(ChipModelName(h.ChipId));
    QString result = f.package ? QStringLiteral("valid") : f.reason;
    if (!f.package && result.isEmpty())
        result = QStringLiteral("damaged: no complete firmware in it");
    return {name,
            product,
            chip,
            h.versionText(),
            f.key ? KeyText(f.key) : QStringLiteral("none"),
            f.package ? ContentsText(*f.package) : QString(),
            LinesOf(result).join(QLatin1Char(' '))};
}

} // namespace

int RunInfo(const Arguments& a) {
    StderrLog log;
    QList<Facts> all;
    int status = ExitOk;
    for (const QString& path : a.packages) {
        LineProgress bar(QFileInfo(path).fileName(), a.json || !StdoutIsTerminal());
        PrintedReport report(bar);
        all << FactsOf(path, OpenPackage(path, report, log));
        bar.hide();
        if (status == ExitOk && all.last().status != ExitOk)
            status = all.last().status;
    }
    if (a.json) {
        QJsonArray list;
        for (const Facts& f : all)
            list.append(FactsJson(f));
        PrintRaw(VisibleJson(QJsonDocument(list).toJson(QJsonDocument::Indented)));
        return status;
    }
    QList<QStringList> rows;
    for (const Facts& f : all)
        rows << FactsRow(f);
    PrintRaw(FormatTable({QStringLiteral("PACKAGE"), QStringLiteral("PRODUCT"),
                          QStringLiteral("CHIP"), QStringLiteral("VERSION"), QStringLiteral("KEY"),
                          QStringLiteral("CONTENTS"), QStringLiteral("RESULT")},
                         rows));
    return status;
}

} // namespace quorvex::cli
