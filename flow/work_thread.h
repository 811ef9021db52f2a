#pragma once
// Runs a use case on a thread of its own while the front end's thread goes on drawing and
// answering: the use case's reports and log records are passed to the front end's thread, and
// a box or a question holds the use case until the person has closed or answered it.
#include "base/failure.h"
#include "flow/report.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

namespace quorvex {

class WorkThread {
  public:
    // The calling thread is home: the front end's.
    WorkThread();
    // A job still under way is asked nothing more at home and runs to its end first.
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // Runs `job` on the thread, then `done` at home. Jobs run one after another.
    void start(std::function<void()> job, std::function<void()> done);

    // From a job: runs `call` at home and returns once it has run there.
    void callHome(const std::function<void()>& call);
    // From a job: runs `call` at home in its turn, without waiting for it.
    void postHome(std::function<void()> call);

  private:
    QObject home_;
    QThread thread_;
    QObject* onThread_;
    std::atomic<bool> abandoned_{false};
};

// A job's report, passed home to `shown` in the order the calls were made.
class ReportRelay : public Report {
  public:
    ReportRelay(WorkThread& thread, Report& shown) : thread_(thread), shown_(shown) {}
    void stage(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    void tell(const QString& text, Icon icon, const QString& caption) override;
    bool ask(const QString& question) override;

  private:
    WorkThread& thread_;
    Report& shown_;
};

// A job's log records, written at home (a log that cannot be written may ask the person).
class LogRelay : public ErrorSink {
  public:
    LogRelay(WorkThread& thread, ErrorSink& log) : thread_(thread), log_(log) {}
    void LogError(const QString& message) override;

  private:
    WorkThread& thread_;
    ErrorSink& log_;
};

} // namespace quorvex
