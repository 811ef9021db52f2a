#pragma once
// ErrorLog.txt beside the program, or in the user's state folder when the program's folder
// cannot take it: the one record of unexpected failures.
#include "base/failure.h"
#include "base/log_file.h"
#include "base/own_files.h"
#include "base/prompts.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>

namespace quorvex {

class ErrorLog : public ErrorSink {
  public:
    static constexpr qint64 SizeLimit = 131072;
    using Clock = std::function<QDateTime()>;

    // An empty program folder (a folder the system owns, see OwnFilesFolder) sends the log
    // to the state folder from the start.
    ErrorLog(QString programFolder, Prompts& prompts, Clock clock = &QDateTime::currentDateTime,
             QString stateFolder = StateFolder());

    // Appends "version MMDDYY HHNN message". Drops failures 400 and 401 and a message that the
    // last record already holds; hands an over-large log to the user and deletes it. The text is
    // written in the system's encoding. When the file cannot be read, written or deleted, or
    // the message has a character that encoding cannot hold, the record is dropped: the caller
    // goes on.
    void LogError(const QString& message) override;

    // Where the log is: beside the program until that folder refused a file, then in the
    // state folder.
    QString path() const { return path_; }

    // The last line as the repeat test sees it: found by stepping back from before the final
    // line end to the previous CR or LF. Empty for a file of one line or of 2 bytes or fewer.
    static QByteArray LastLine(const QString& path);

  private:
    static QByteArray LastLineOf(QFile& f);
    void moveToStateFolder();
    LogOpen open(QFile& f);

    QString stateFolder_;
    QString path_;
    bool inStateFolder_ = false;
    Prompts& prompts_;
    Clock clock_;
};

} // namespace quorvex
