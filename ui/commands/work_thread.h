#pragma once
// Runs a use case on a thread of its own while the window's thread goes on drawing and
// answering. The job's reports and log records come to the window's thread through this one
// mailbox: posted in the order they were made, a box or a question holding the job until the
// person has closed or answered it.
#include "base/failure.h"
#include "flow/report.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace quorvex {

class WorkThread {
  public:
    // The calling thread is home: the window's.
    WorkThread();
    // A job still under way is asked nothing more at home and runs to its end first: whoever
    // owns the job asks it to stop before this.
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // Runs `job` on a thread of its own, then `done` at home. One job at a time: the window is
    // locked while one runs.
    void start(std::function<void()> job, std::function<void()> done);
    // From `start` until `done` has run.
    bool busy() const { return busy_; }

    // From a job: runs `call` at home and returns once it has run there.
    void callHome(const std::function<void()>& call);
    // From a job: runs `call` at home in its turn, without waiting for it.
    void postHome(std::function<void()> call);
    // At home: runs `call` at home once `ms` have passed, unless the thread has gone by then.
    void laterAtHome(int ms, std::function<void()> call);

  private:
    QObject home_;
    // A thread Qt made: the serial port a job opens on it gets the notifiers a port needs.
    std::unique_ptr<QThread> thread_;
    bool busy_ = false;
    std::atomic<bool> abandoned_{false};
};

// A job's report, passed home to `shown` in the order the calls were made. Progress is merged
// where it is made: at most one progress post waits at home, a newer report replaces what it
// carries, and after one has been shown the next waits out a rest, so however fast a transfer
// reports (an upload's thousands of blocks), the window's thread takes its progress a few
// dozen times a second. Stages, boxes and questions are never merged, and the newest progress
// is shown before each of them and before the job's end.
class ReportRelay : public Report {
  public:
    // How long the window's thread rests between two progress reports: twice as often as the
    // window draws them.
    static constexpr int RestMs = 50;

    ReportRelay(WorkThread& thread, Report& shown);
    // The newest progress still goes home, ahead of the job's end.
    ~ReportRelay() override;
    ReportRelay(const ReportRelay&) = delete;
    ReportRelay& operator=(const ReportRelay&) = delete;
    void stage(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    void tell(const QString& text, Icon icon, const QString& caption) override;
    bool ask(const QString& question) override;

  private:
    // The progress of one stretch between two other calls.
    struct Waiting {
        std::mutex mutex;
        qint64 done = 0;
        qint64 total = 0;
        bool fresh = false;  // newer than what was shown
        bool posted = false; // a post is on its way home, or home is resting
        bool closed = false; // the stretch is over: nothing of it is shown any more
    };
    // At home: shows the newest progress, then rests. Outlives the relay (a rest may end after
    // the job), so it holds only what lives until the job's end has been taken at home.
    static void Deliver(WorkThread& thread, Report& shown, const std::shared_ptr<Waiting>& waiting);
    // Ends the stretch: returns what must run at home before the next call, the newest
    // progress shown.
    std::function<void()> closeProgress();

    WorkThread& thread_;
    Report& shown_;
    std::shared_ptr<Waiting> waiting_;
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
