#include "cli/unit_record.h"

#include "base/catalogue.h"
#include "base/conversions.h"
#include "cli/arguments.h"
#include "cli/console.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>

namespace quorvex::cli {

namespace {

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString UtcText(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QString PackageDigest(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QString OutcomeWord(const SerialUnitOutcome& unit) {
    // A unit stopped before it started never had its port opened.
    if (unit.interrupted && !unit.opened)
        return InterruptedWord;
    if (!unit.opened || (unit.portGone && !unit.identification))
        return QStringLiteral("error");
    if (unit.interrupted)
        return InterruptedWord;
    if (unit.flashed)
        return QStringLiteral("flashed");
    if (unit.refused)
        return QStringLiteral("refused");
    if (!unit.identification)
        return QStringLiteral("no-answer");
    return unit.rejected ? QStringLiteral("rejected") : QStringLiteral("failed");
}

QString OutcomeWord(TftpOutcome outcome) {
    switch (outcome) {
    case TftpOutcome::Finished:
        return QStringLiteral("uploaded");
    case TftpOutcome::Rejected:
        return QStringLiteral("rejected");
    case TftpOutcome::TimedOut:
    case TftpOutcome::Stalled:
        return QStringLiteral("timed-out");
    case TftpOutcome::Interrupted:
        return InterruptedWord;
    case TftpOutcome::None:
    case TftpOutcome::Failed:
        break;
    }
    return QStringLiteral("error");
}

QJsonObject RecordJson(const UnitRecord& r, const PackageFacts& package) {
    QJsonObject o;
    o.insert(QStringLiteral("start"), UtcText(r.start));
    o.insert(QStringLiteral("end"), UtcText(r.end));
    o.insert(QStringLiteral("duration_ms"), r.start.msecsTo(r.end));
    o.insert(QStringLiteral("host"), r.host);
    o.insert(QStringLiteral("program"), VersionText());
    o.insert(r.serial ? QStringLiteral("port") : QStringLiteral("target"), r.given);
    o.insert(r.serial ? QStringLiteral("device") : QStringLiteral("address"),
             TextOrNull(r.resolved));
    o.insert(QStringLiteral("product"), package.product);
    o.insert(QStringLiteral("version"), package.version);
    o.insert(QStringLiteral("package"), package.fileName);
    o.insert(QStringLiteral("sha256"), TextOrNull(package.sha256));
    o.insert(QStringLiteral("outcome"), r.outcome);
    o.insert(QStringLiteral("text"), r.text);
    o.insert(QStringLiteral("blocks"), r.blocks);
    o.insert(QStringLiteral("blocks_total"), r.blocksTotal);
    if (!r.serial)
        return o;
    o.insert(QStringLiteral("adapter_serial"), TextOrNull(r.adapterSerial));
    if (r.identification) {
        const int id = *r.identification;
        o.insert(QStringLiteral("identification"), id);
        o.insert(QStringLiteral("unit"), TextOrNull(UnitIdToCode(HighNibble(id))));
        o.insert(QStringLiteral("chip"), ChipModelName(LowNibble(id)));
    } else {
        for (const char* key : {"identification", "unit", "chip"})
            o.insert(QLatin1String(key), QJsonValue::Null);
    }
    o.insert(QStringLiteral("eeprom_bytes"), r.eepromBytes);
    o.insert(QStringLiteral("eeprom_bytes_total"), r.eepromBytesTotal);
    return o;
}

QString RecordFile::open(const QString& path) {
    asked_ = !path.isEmpty();
    return asked_ ? lines_.open(path) : QString();
}

bool RecordFile::append(const UnitRecord& record, const PackageFacts& package) {
    if (!asked_)
        return true;
    // Escaped as the terminal's JSON is: a record is read with cat as often as with a parser.
    const AppendedLines::Fate fate = lines_.append(
        VisibleJson(QJsonDocument(RecordJson(record, package)).toJson(QJsonDocument::Compact))
            .toUtf8());
    if (fate.why.isEmpty())
        return true;
    // A line that is in the file must not be added again by whoever reads this: a rerun would
    // record the unit twice.
    PrintError(Visible(record.given) +
               (fate.inFile ? QStringLiteral(": the record is in the file, but the disk did not "
                                             "confirm it (%1); it may be lost in a power cut and "
                                             "is not written again")
                            : QStringLiteral(": the record is not safe on the disk: %1"))
                   .arg(fate.why));
    return false;
}

} // namespace quorvex::cli
