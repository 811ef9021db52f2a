#include "ui/commands/work_thread.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <future>

namespace quorvex {

WorkThread::WorkThread() {
    home_.setObjectName(QStringLiteral("workHome"));
}

WorkThread::~WorkThread() {
    abandoned_ = true;
    if (thread_)
        thread_->wait();
}

void WorkThread::start(std::function<void()> job, std::function<void()> done) {
    // The last job has ended: its `done` ran before this one could be asked for.
    if (thread_)
        thread_->wait();
    busy_ = true;
    const auto run = std::make_shared<std::function<void()>>(
        [this, job = std::move(job), done = std::move(done)]() mutable {
            job();
            postHome([this, done = std::move(done)] {
                busy_ = false;
                done();
            });
        });
    thread_.reset(QThread::create([run] { (*run)(); }));
    thread_->start();
    if (!thread_->isRunning() && !thread_->isFinished()) {
        // No thread to be had (the system is out of them, or of memory): the job runs here,
        // the window held meanwhile, rather than not at all.
        thread_.reset();
        (*run)();
    }
}

void WorkThread::callHome(const std::function<void()>& call) {
    if (QThread::currentThread() == home_.thread()) {
        call();
        return;
    }
    auto ran = std::make_shared<std::promise<void>>();
    std::future<void> waited = ran->get_future();
    QMetaObject::invokeMethod(
        &home_,
        [&call, ran] {
            call();
            ran->set_value();
        },
        Qt::QueuedConnection);
    // Home may give up on the job (the window goes away): the call then never runs there.
    while (waited.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (abandoned_)
            return;
}

void WorkThread::postHome(std::function<void()> call) {
    QMetaObject::invokeMethod(&home_, std::move(call), Qt::QueuedConnection);
}

void WorkThread::laterAtHome(int ms, std::function<void()> call) {
    QTimer::singleShot(ms, &home_, std::move(call));
}

ReportRelay::ReportRelay(WorkThread& thread, Report& shown)
    : thread_(thread), shown_(shown), waiting_(std::make_shared<Waiting>()) {}

ReportRelay::~ReportRelay() {
    thread_.postHome(closeProgress());
}

void ReportRelay::Deliver(WorkThread& thread, Report& shown,
                          const std::shared_ptr<Waiting>& waiting) {
    qint64 done = 0;
    qint64 total = 0;
    {
        std::lock_guard lock(waiting->mutex);
        if (waiting->closed)
            return;
        if (!waiting->fresh) {
            waiting->posted = false;
            return;
        }
        waiting->fresh = false;
        done = waiting->done;
        total = waiting->total;
    }
    shown.progress(done, total);
    thread.laterAtHome(RestMs, [&thread, &shown, waiting] { Deliver(thread, shown, waiting); });
}

std::function<void()> ReportRelay::closeProgress() {
    const std::shared_ptr<Waiting> last = std::exchange(waiting_, std::make_shared<Waiting>());
    return [&shown = shown_, last] {
        qint64 done = 0;
        qint64 total = 0;
        {
            std::lock_guard lock(last->mutex);
            last->closed = true;
            if (!std::exchange(last->fresh, false))
                return;
            done = last->done;
            total = last->total;
        }
        shown.progress(done, total);
    };
}

void ReportRelay::stage(const QString& text) {
    thread_.postHome([&shown = shown_, text, before = closeProgress()] {
        before();
        shown.stage(text);
    });
}

void ReportRelay::progress(qint64 done, qint64 total) {
    {
        std::lock_guard lock(waiting_->mutex);
        waiting_->done = done;
        waiting_->total = total;
        waiting_->fresh = true;
        if (std::exchange(waiting_->posted, true))
            return;
    }
    thread_.postHome([&thread = thread_, &shown = shown_, waiting = waiting_] {
        Deliver(thread, shown, waiting);
    });
}

void ReportRelay::tell(const QString& text, Icon icon, const QString& caption) {
    const std::function<void()> before = closeProgress();
    thread_.callHome([&] {
        before();
        shown_.tell(text, icon, caption);
    });
}

bool ReportRelay::ask(const QString& question) {
    const std::function<void()> before = closeProgress();
    bool yes = false;
    thread_.callHome([&] {
        before();
        yes = shown_.ask(question);
    });
    return yes;
}

void LogRelay::LogError(const QString& message) {
    thread_.callHome([&] { log_.LogError(message); });
}

} // namespace quorvex
