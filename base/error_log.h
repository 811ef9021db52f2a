#pragma once
// ErrorLog.txt beside the program: the one record of unexpected failures.
#include "base/failure.h"
#include "base/prompts.h"

#include <QDateTime>
#include <QString>
#include <functional>

namespace quorvex {

class ErrorLog : public ErrorSink {
  public:
    static constexpr qint64 SizeLimit = 131072;
    using Clock = std::function<QDateTime()>;

    ErrorLog(QString programFolder, Prompts& prompts, Clock clock = &QDateTime::currentDateTime);

    // Appends "version MMDDYY HHNN message". Drops failures 400 and 401 and a message that the
    // last record already holds; hands an over-large log to the user and deletes it. The text is
    // written in the system's encoding. When the file cannot be read, written or deleted, or
    // the message has a character that encoding cannot hold, the record is dropped: the caller
    // goes on.
    void LogError(const QString& message) override;

    QString path() const { return path_; }

    // The last line as the repeat test sees it: found by stepping back from before the final
    // line end to the previous CR or LF. Empty for a file of one line or of 2 bytes or fewer.
    static QByteArray LastLine(const QString& path);

  private:
    QString path_;
    Prompts& prompts_;
    Clock clock_;
};

} // namespace quorvex
