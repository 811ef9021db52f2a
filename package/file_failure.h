#pragma once
// Turns what QFile reports into the numbered failures the error log and the boxes show:
// a missing file 53, a refused one 70, anything else 75.
#include "base/failure.h"

#include <QFileDevice>
#include <QString>

namespace quorvex {

// Number 62, for a file that ends before a fixed-size record could be read.
inline constexpr int InputPastEndOfFile = 62;

enum class OpenFor { Reading, Writing };

// The failure behind a QFile at `path` that would not open.
Failure OpenFailure(const QFileDevice& file, const QString& path, OpenFor purpose);
// The failure behind a read or write that came back short or with an error.
Failure TransferFailure(const QFileDevice& file);

[[noreturn]] void RaiseFailure(const Failure& f);

} // namespace quorvex
