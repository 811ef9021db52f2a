#pragma once
// What quorvex-cli keeps of every unit it flashed or uploaded to: one JSON object per unit and
// attempt, appended to the record file (--record, one line each, JSON Lines) the moment the unit
// ends, and printed with the others as one document by --json.
#include "base/appended_lines.h"
#include "flow/flash_serial_unit.h"
#include "flow/open_package.h"
#include "flow/upload.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex::cli {

// The package every unit of a run is given, as its records name it.
struct PackageFacts {
    QString fileName;
    QString sha256; // of the package file, lower-case hex
    QString product;
    QString version;
};

// `path` read once more to its end for its digest; empty when it cannot be read.
QString PackageDigest(const QString& path);

struct UnitRecord {
    QDateTime start; // UTC
    QDateTime end;
    QString host;
    bool serial = true;
    QString given;    // the port or target as given
    QString resolved; // the device or address it led to; empty when none
    QString adapterSerial;
    std::optional<std::uint8_t> identification;
    // flashed, refused, no-answer, rejected, failed, interrupted, uploaded, timed-out, error
    QString outcome;
    QString text;
    qint64 blocks = 0;
    qint64 blocksTotal = 0;
    int eepromBytes = 0;
    int eepromBytesTotal = 0;
};

// The word of a unit that a stop cut short.
inline const QString InterruptedWord = QStringLiteral("interrupted");

// The one word a record gives the outcome of a serial flash or an upload.
QString OutcomeWord(const SerialUnitOutcome& unit);
QString OutcomeWord(TftpOutcome outcome);

// The record as its JSON object; `package` is the run's.
QJsonObject RecordJson(const UnitRecord& record, const PackageFacts& package);

// The file of --record: lines appended by the units' threads as they end.
class RecordFile {
  public:
    // Empty when no record is asked for (`path` empty) or the file is open for appending;
    // else why it cannot be.
    QString open(const QString& path);
    // The record as one line on the disk. False when it is not safe there (not written, or
    // written but not confirmed by the disk), which is told on standard error under
    // `record.given`. Safe from any thread.
    bool append(const UnitRecord& record, const PackageFacts& package);

  private:
    bool asked_ = false;
    AppendedLines lines_;
};

} // namespace quorvex::cli
