#pragma once
// A log that keeps every record, for tests of any layer.
#include "base/failure.h"

#include <QString>
#include <QStringList>

namespace quorvex::fakes {

class RecordingLog : public ErrorSink {
  public:
    void LogError(const QString& message) override { records.push_back(message); }
    QStringList records;
};

} // namespace quorvex::fakes
