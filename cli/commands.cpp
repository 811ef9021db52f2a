#include "cli/commands.h"

#include "base/catalogue.h"
#include "base/failure.h"
#include "cli/console.h"
#include "cli/table.h"
#include "cli/units.h"
#include "package/cipher.h"
#include "package/maker_panel.h"
#include "package/package_builder.h"
#include "serial/firmware_transfer.h"
#include "serial/port_naming.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSerialPortInfo>
#include <QThread>
#include <cmath>
#include <memory>

namespace quorvex::cli {

namespace {

constexpr int TftpBlockSize = 512;

QString CommandWord(Command c) {
    switch (c) {
    case Command::Info:
        return QStringLiteral("info");
    case Command::Pack:
        return QStringLiteral("pack");
    case Command::Ports:
        return QStringLiteral("ports");
    case Command::Flash:
        return QStringLiteral("flash");
    case Command::Upload:
        return QStringLiteral("upload");
    case Command::Help:
    case Command::Version:
        break;
    }
    return QStringLiteral("help");
}

QString Hex(int value, int digits) {
    return QStringLiteral("0x%1")
        .arg(value, digits, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QStringLiteral("0X"), QStringLiteral("0x"));
}

// The box texts of the window use CR LF between lines; a terminal wants one line each. A lone
// line end comes from what the text quotes, and is shown as an escape with the rest of it.
QStringList LinesOf(const QString& text) {
    return text.split(QStringLiteral("\r\n"));
}

QString DeviceFolder(const Arguments& a) {
    return a.deviceFolder.isEmpty() ? DefaultDeviceFolder() : a.deviceFolder;
}

// ---- info ---------------------------------------------------------------------------------

struct Contents {
    int flashBlocks = 0;
    int eepromBytes = 0;
    int configWords = 0;
    int programEnd = 0;
};

Contents SerialContents(const LoadedFirmware& fw) {
    Contents c;
    // The blocks and bytes the transfer sends, counted the way it skips them.
    const int lastIndex = int(fw.ProgramImage.size()) - 1;
    for (int offset = 0; offset < lastIndex; offset += Transfer::BlockSize)
        if (!IsBlankBlock(fw.ProgramImage, offset))
            ++c.flashBlocks;
    for (int a = 0; a < fw.EepromImage.size() && a < fw.EepromPresent.size(); ++a)
        if (fw.EepromPresent.at(a) != 0)
            ++c.eepromBytes;
    // A body without configuration records leaves the one zero byte the reader starts with.
    const qsizetype config = fw.ConfigImage.size();
    c.configWords = config <= 1 ? 0 : int((config + 1) / 2);
    c.programEnd = fw.ProgramEnd;
    return c;
}

qint64 TftpBlocks(qint64 imageSize) {
    return imageSize / TftpBlockSize + 1;
}

QJsonObject FactsJson(const PackageFacts& f) {
    QJsonObject o;
    o[QStringLiteral("package")] = f.path;
    o[QStringLiteral("valid")] = f.status == PackageStatus::Valid;
    o[QStringLiteral("status")] = int(f.status);
    o[QStringLiteral("reason")] = f.reason;
    if (!f.headerRead)
        return o;
    const DFFHeader& h = f.header;
    const bool network = h.ChipId == NetworkChipId;
    o[QStringLiteral("productCode")] = h.trimmedCode();
    o[QStringLiteral("productName")] = ProductDisplayName(h.trimmedCode());
    o[QStringLiteral("chipId")] = int(h.ChipId);
    o[QStringLiteral("chip")] = ChipModelName(h.ChipId);
    o[QStringLiteral("version")] = h.versionText();
    o[QStringLiteral("kind")] = network ? QStringLiteral("network") : QStringLiteral("serial");
    o[QStringLiteral("key")] = f.key.isEmpty() ? QJsonValue() : QJsonValue(f.key);
    if (f.status != PackageStatus::Valid)
        return o;
    if (network) {
        o[QStringLiteral("imageSize")] = double(f.firmware.ProgramImage.size());
        o[QStringLiteral("tftpBlocks")] = double(TftpBlocks(f.firmware.ProgramImage.size()));
    } else {
        const Contents c = SerialContents(f.firmware);
        o[QStringLiteral("flashBlocks")] = c.flashBlocks;
        o[QStringLiteral("eepromBytes")] = c.eepromBytes;
        o[QStringLiteral("configWords")] = c.configWords;
        o[QStringLiteral("programEnd")] = c.programEnd;
        o[QStringLiteral("highestAddress")] =
            c.programEnd > 0 ? QJsonValue(c.programEnd - 1) : QJsonValue();
    }
    return o;
}

QStringList FactsRow(const PackageFacts& f) {
    const QString name = QFileInfo(f.path).fileName();
    if (!f.headerRead)
        return {name, {}, {}, {}, {}, {}, f.reason};
    const DFFHeader& h = f.header;
    const QString product =
        QStringLiteral("%1 (%2)").arg(h.trimmedCode(), ProductDisplayName(h.trimmedCode()));
    const QString chip = QStringLiteral("%1 %2").arg(h.ChipId).arg(ChipModelName(h.ChipId));
    QString contents;
    if (f.status == PackageStatus::Valid) {
        if (h.ChipId == NetworkChipId) {
            const qint64 size = f.firmware.ProgramImage.size();
            contents = QStringLiteral("%1 bytes, %2 TFTP blocks").arg(size).arg(TftpBlocks(size));
        } else {
            const Contents c = SerialContents(f.firmware);
            contents =
                QStringLiteral("%1 flash blocks, %2 EEPROM bytes, %3 config words, %4")
                    .arg(c.flashBlocks)
                    .arg(c.eepromBytes)
                    .arg(c.configWords)
                    .arg(c.programEnd > 0
                             ? QStringLiteral("highest address %1").arg(Hex(c.programEnd - 1, 4))
                             : QStringLiteral("no program data"));
        }
    }
    QString result = f.status == PackageStatus::Valid ? QStringLiteral("valid") : f.reason;
    if (f.status != PackageStatus::Valid && result.isEmpty())
        result = QStringLiteral("damaged: no complete firmware in it");
    return {name,
            product,
            chip,
            h.versionText(),
            f.key.isEmpty() ? QStringLiteral("none") : f.key,
            contents,
            LinesOf(result).join(QLatin1Char(' '))};
}

// ---- flash --------------------------------------------------------------------------------

// What the units flashed side by side have drawn so far: one bar for all of them on a
// terminal, a line at each quarter of each unit elsewhere.
class FlashBoard {
  public:
    explicit FlashBoard(const QStringList& names) : names_(names), percent_(names.size(), -1) {}

    void progress(int unit, double f) {
        const int percent = int(std::floor(std::clamp(f, 0.0, 1.0) * 100));
        QMutexLocker locked(&lock_);
        if (percent == percent_[unit])
            return;
        const int before = percent_[unit];
        percent_[unit] = percent;
        if (!StdoutIsTerminal()) {
            if (before < 0 || percent / 25 != before / 25)
                PrintLine(
                    QStringLiteral("%1: %2%").arg(Visible(names_[unit])).arg(percent / 25 * 25));
            return;
        }
        QStringList parts;
        for (int i = 0; i < names_.size(); ++i)
            if (percent_[i] >= 0)
                parts << QStringLiteral("%1 %2%")
                             .arg(Visible(QFileInfo(names_[i]).fileName()))
                             .arg(percent_[i]);
        ShowBar(parts.join(QStringLiteral("  ")));
    }
    void done() { ShowBar(QString()); }

  private:
    QMutex lock_;
    QStringList names_;
    QList<int> percent_;
};

class PrintedUnitEvents : public UnitEvents {
  public:
    PrintedUnitEvents(const QString& name, int index, FlashBoard& board)
        : name_(Visible(name)), index_(index), board_(board) {}
    void stage(const QString& text) override {
        if (text == last_)
            return;
        last_ = text;
        PrintLine(name_ + QStringLiteral(": ") + Visible(text));
    }
    void progress(double fraction) override { board_.progress(index_, fraction); }
    void told(const QString& text, bool) override {
        // One print for the whole box, so that another unit's lines cannot come between.
        QStringList lines;
        for (const QString& line : LinesOf(text))
            lines << name_ + QStringLiteral(": ") + Visible(line);
        PrintLine(lines.join(QLatin1Char('\n')));
    }

  private:
    QString name_;
    int index_;
    FlashBoard& board_;
    QString last_;
};

// One unit, on a thread of its own: its serial port is made, used and closed there, and the
// waits of the flashing sequence run that thread's own event loop.
class UnitThread : public QThread {
  public:
    UnitThread(const LoadedFirmware& fw, PortChoice port, int attempts, int index,
               FlashBoard& board)
        : fw_(fw), port_(std::move(port)), attempts_(attempts), log_(port_.given),
          events_(port_.given, index, board) {}
    FlashOutcome outcome;

  protected:
    void run() override { outcome = FlashUnit(fw_, port_, attempts_, log_, events_); }

  private:
    const LoadedFirmware& fw_;
    PortChoice port_;
    int attempts_;
    StderrLog log_;
    PrintedUnitEvents events_;
};

QString UnitFoundText(const FlashOutcome& o) {
    if (!o.unitFound)
        return QStringLiteral("no");
    if (!o.identification)
        return QStringLiteral("yes");
    const int id = *o.identification;
    const QString code = UnitIdToCode(id >> 4);
    return QStringLiteral("%1 (%2)").arg(code.isEmpty() ? QStringLiteral("unit id %1").arg(id >> 4)
                                                        : code,
                                         ChipModelName(id & 0x0F));
}

// Loads a package for flash or upload; reports a refusal and gives its exit status.
std::optional<int> LoadForUnits(const Arguments& a, PackageFacts& facts) {
    StderrLog log;
    LineProgress bar(QStringLiteral("decoding"));
    facts = ReadPackage(a.packages.first(), log, &bar);
    bar.hide();
    if (facts.status != PackageStatus::Valid) {
        QString why = LinesOf(facts.reason).join(QLatin1Char(' '));
        if (why.isEmpty())
            why = QStringLiteral("the package holds no complete firmware");
        PrintError(QStringLiteral("quorvex-cli %1: %2: %3")
                       .arg(CommandWord(a.command), Visible(a.packages.first()), Visible(why)));
        return int(facts.status);
    }
    const bool network = facts.header.ChipId == NetworkChipId;
    if (network != (a.command == Command::Upload))
        return UsageFailure(a.command,
                            network ? QStringLiteral("%1 is a network package; 'upload' sends it")
                                          .arg(a.packages.first())
                                    : QStringLiteral("%1 is a serial package; 'flash' writes it")
                                          .arg(a.packages.first()));
    PrintLine(Visible(QStringLiteral("%1: %2 %3, version %4")
                          .arg(QFileInfo(a.packages.first()).fileName(), facts.header.trimmedCode(),
                               ProductDisplayName(facts.header.trimmedCode()),
                               facts.header.versionText())));
    return std::nullopt;
}

// ---- upload -------------------------------------------------------------------------------

class PrintedUploadEvents : public UploadEvents {
  public:
    PrintedUploadEvents(const QString& target, qint64 blocks)
        : target_(Visible(target)), blocks_(blocks), bar_(target_) {}
    void status(const QString& text) override {
        PrintLine(target_ + QStringLiteral(": ") + Visible(text));
    }
    void block(int number) override {
        if (number == 1)
            bar_.show();
        bar_.fill(double(number) / double(blocks_));
    }
    void end() { bar_.hide(); }

  private:
    QString target_;
    qint64 blocks_;
    LineProgress bar_;
};

} // namespace

int UsageFailure(Command command, const QString& text) {
    PrintError(QStringLiteral("quorvex-cli %1: %2\nTry 'quorvex-cli %1 --help'.")
                   .arg(CommandWord(command), Visible(text)));
    return ExitUsage;
}

int RunInfo(const Arguments& a) {
    StderrLog log;
    QList<PackageFacts> all;
    int status = ExitOk;
    for (const QString& path : a.packages) {
        LineProgress bar(QFileInfo(path).fileName(), a.json || !StdoutIsTerminal());
        all << ReadPackage(path, log, &bar);
        bar.hide();
        if (status == ExitOk && all.last().status != PackageStatus::Valid)
            status = int(all.last().status);
    }
    if (a.json) {
        QJsonArray list;
        for (const PackageFacts& f : all)
            list.append(FactsJson(f));
        PrintRaw(VisibleJson(QJsonDocument(list).toJson(QJsonDocument::Indented)));
    } else {
        QList<QStringList> rows;
        for (const PackageFacts& f : all)
            rows << FactsRow(f);
        PrintRaw(
            FormatTable({QStringLiteral("PACKAGE"), QStringLiteral("PRODUCT"),
                         QStringLiteral("CHIP"), QStringLiteral("VERSION"), QStringLiteral("KEY"),
                         QStringLiteral("CONTENTS"), QStringLiteral("RESULT")},
                        rows));
    }
    return status;
}

int RunPack(const Arguments& a) {
    // The product as the maker panel's unit list spells it.
    QString product;
    for (const QString& code : UnitListEntries())
        if (code.compare(a.product, Qt::CaseInsensitive) == 0)
            product = code;
    if (product.isEmpty())
        return UsageFailure(Command::Pack,
                            QStringLiteral("option '--product': unknown product '%1' (known: %2)")
                                .arg(a.product, UnitListEntries().join(QStringLiteral(", "))));

    // The chip by id or by model name, as the chip list's entry "model [id]".
    QString chipEntry;
    const QStringList chips = ChipListEntries();
    bool isNumber = false;
    const int id = a.chip.toInt(&isNumber);
    for (const QString& entry : chips) {
        const auto entryId = ChipIdOfEntry(entry);
        const QString model = entry.left(entry.lastIndexOf(QStringLiteral(" [")));
        if ((isNumber && entryId && *entryId == id) ||
            (!isNumber && (model.compare(a.chip, Qt::CaseInsensitive) == 0 ||
                           entry.compare(a.chip, Qt::CaseInsensitive) == 0)))
            chipEntry = entry;
    }
    if (chipEntry.isEmpty())
        return UsageFailure(Command::Pack,
                            QStringLiteral("option '--chip': unknown chip '%1' (known: %2)")
                                .arg(a.chip, chips.join(QStringLiteral(", "))));

    const QStringList parts = a.version.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return UsageFailure(
            Command::Pack,
            QStringLiteral("option '--version' takes A.B.C, not '%1'").arg(a.version));
    const MakerChoice choice{product, chipEntry, {parts[0], parts[1], parts[2]}};
    if (const auto refusal = RefusalOf(choice))
        return UsageFailure(Command::Pack, QStringLiteral("option '--version': ") + *refusal);

    const DFFHeader header = HeaderOf(choice);
    if (!QFileInfo(a.input).isFile()) {
        PrintError(Visible(
            QStringLiteral("The package %1 was not written: the firmware file %2 "
                           "cannot be read.")
                .arg(QDir::toNativeSeparators(a.output), QDir::toNativeSeparators(a.input))));
        return ExitFailed;
    }
    StderrLog log;
    LineProgress bar(QStringLiteral("encoding"));
    const auto failure = WritePackage(a.input, a.output, header, &bar, log);
    bar.hide();
    if (failure) {
        PrintError(Visible(*failure));
        return ExitFailed;
    }
    PrintLine(
        Visible(QStringLiteral("%1: %2 %3, chip %4, version %5, %6 bytes")
                    .arg(a.output, header.trimmedCode(), ProductDisplayName(header.trimmedCode()),
                         chipEntry, header.versionText())
                    .arg(QFileInfo(a.output).size())));
    return ExitOk;
}

int RunPorts(const Arguments& a) {
    const QList<PortEntry> ports = ListPorts(DeviceFolder(a));
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QJsonArray list;
    QList<QStringList> rows;
    for (const PortEntry& p : ports) {
        const QString device = QFileInfo(p.device).canonicalFilePath();
        QSerialPortInfo info;
        for (const QSerialPortInfo& i : infos)
            if (i.systemLocation() == device || i.systemLocation() == p.device)
                info = i;
        const QString vendor =
            info.hasVendorIdentifier()
                ? QStringLiteral("%1").arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                : QString();
        const QString product =
            info.hasProductIdentifier()
                ? QStringLiteral("%1").arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
                : QString();
        QJsonObject o;
        o[QStringLiteral("port")] = p.text;
        o[QStringLiteral("number")] = p.number;
        o[QStringLiteral("device")] = p.device;
        o[QStringLiteral("vendorId")] = vendor;
        o[QStringLiteral("productId")] = product;
        o[QStringLiteral("manufacturer")] = info.manufacturer();
        o[QStringLiteral("description")] = info.description();
        o[QStringLiteral("serialNumber")] = info.serialNumber();
        list.append(o);
        QString adapter = info.description();
        if (!info.manufacturer().isEmpty())
            adapter = info.manufacturer() + QLatin1Char(' ') + adapter;
        rows << QStringList{p.text, p.device,
                            vendor.isEmpty() ? QString() : vendor + QLatin1Char(':') + product,
                            info.serialNumber(), adapter.trimmed()};
    }
    if (a.json)
        PrintRaw(VisibleJson(QJsonDocument(list).toJson(QJsonDocument::Indented)));
    else if (rows.isEmpty())
        PrintLine(QStringLiteral("No serial port opens now."));
    else
        PrintRaw(FormatTable({QStringLiteral("PORT"), QStringLiteral("DEVICE"),
                              QStringLiteral("VENDOR:PRODUCT"), QStringLiteral("SERIAL NUMBER"),
                              QStringLiteral("ADAPTER")},
                             rows));
    return ExitOk;
}

int RunFlash(const Arguments& a) {
    PackageFacts facts;
    if (const auto refused = LoadForUnits(a, facts))
        return *refused;
    const int attempts = std::max(1, int(std::lround(a.waitSeconds.value_or(10.0))));
    FlashBoard board(a.ports);
    std::vector<std::unique_ptr<UnitThread>> units;
    for (int i = 0; i < a.ports.size(); ++i)
        units.push_back(std::make_unique<UnitThread>(
            facts.firmware, ResolvePort(a.ports[i], DeviceFolder(a)), attempts, i, board));
    for (auto& u : units)
        u->start();
    for (auto& u : units)
        u->wait();
    board.done();

    QList<QStringList> rows;
    bool all = true;
    for (int i = 0; i < a.ports.size(); ++i) {
        const FlashOutcome& o = units[size_t(i)]->outcome;
        all = all && o.flashed;
        rows << QStringList{a.ports[i], UnitFoundText(o),
                            o.unitFound ? QString::number(o.flashBlocks) : QStringLiteral("-"),
                            LinesOf(o.result).join(QLatin1Char(' '))};
    }
    PrintRaw(QStringLiteral("\n") +
             FormatTable({QStringLiteral("PORT"), QStringLiteral("UNIT FOUND"),
                          QStringLiteral("BLOCKS WRITTEN"), QStringLiteral("RESULT")},
                         rows));
    return all ? ExitOk : ExitFailed;
}

int RunUpload(const Arguments& a) {
    PackageFacts facts;
    if (const auto refused = LoadForUnits(a, facts))
        return *refused;
    StderrLog log;
    QList<QStringList> rows;
    bool all = true;
    for (const QString& target : a.targets) {
        PrintedUploadEvents events(target, TftpBlocks(facts.firmware.ProgramImage.size()));
        const UploadOutcome o = UploadTo(facts.firmware, target, a.tftpPort, log, events);
        events.end();
        all = all && o.finished;
        rows << QStringList{target, o.lastStatus};
    }
    PrintRaw(QStringLiteral("\n") +
             FormatTable({QStringLiteral("TARGET"), QStringLiteral("RESULT")}, rows));
    return all ? ExitOk : ExitFailed;
}

} // namespace quorvex::cli
