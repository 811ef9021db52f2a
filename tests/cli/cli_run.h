#pragma once
// quorvex-cli started as its users start it, for the tests, and the record lines it leaves.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace quorvex::testing {

// The built program.
QString CliProgram();

// The bytes of a fixture file.
QByteArray FixtureBytes(const QString& name);

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs the built program with `args` to its end (bounded by `timeoutMs`; a run that outlives
// it is killed and says "timed out"). `runEvents`: this thread's events run while the program
// does, for peers that live on it (a simulated unit).
CliRun Cli(const QStringList& args, int timeoutMs = 60000, bool runEvents = false);

// The lines of a record file, each read as a JSON object; an empty object for a line that is
// not one. `whole`: every line ended with its line end.
QList<QJsonObject> RecordLines(const QString& path, bool* whole = nullptr);

// The record of the unit named `given` (its port or its target, as it was named); an empty
// object when there is none.
QJsonObject RecordOf(const QList<QJsonObject>& records, const QString& given);

} // namespace quorvex::testing
