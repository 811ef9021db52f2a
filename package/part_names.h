#pragma once
// The names under which a package part is written where the system cannot make a file without
// one: ".NAME.quorvex-PID-RANDOM", hidden, naming the process that writes it so that a later
// build can tell whether its writer is gone. Portable; the system's calls stay with the file.
#include "base/failure.h"

#include <QDir>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace quorvex::parts {

// Names tried before the folder counts as unable to take a part: only a name that is already
// taken leads to another.
constexpr int NameAttempts = 8;

// A new part's name for a package to be called `targetName`.
QString PartName(const QString& targetName);
// A part's name, with its owner's process id as the first capture.
const QRegularExpression& PartPattern();
// The parts' names in `folder` (files only, never links).
QStringList PartsIn(const QDir& folder);
// 61 for a full disk, 70 for a refusal, 75 for the rest; `detail` adds the system's words.
Failure SystemFailure(int number, const QString& detail);

} // namespace quorvex::parts
