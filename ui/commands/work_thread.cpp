#include "ui/commands/work_thread.h"

#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <future>
#include <system_error>

namespace quorvex {

WorkThread::WorkThread() {
    home_.setObjectName(QStringLiteral("workHome"));
}

WorkThread::~WorkThread() {
    abandoned_ = true;
    if (thread_.joinable())
        thread_.join();
}

void WorkThread::start(std::function<void()> job, std::function<void()> done) {
    // The last job has ended: its `done` ran before this one could be asked for.
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    const auto run = std::make_shared<std::function<void()>>(
        [this, job = std::move(job), done = std::move(done)]() mutable {
            job();
            postHome([this, done = std::move(done)] {
                busy_ = false;
                done();
            });
        });
    try {
        thread_ = std::thread([run] { (*run)(); });
    } catch (const std::system_error&) {
        // No thread to be had (the system is out of them, or of memory): the job runs here,
        // the window held meanwhile, rather than not at all.
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

ReportRelay::ReportRelay(WorkThread& thread, Report& shown)
    : thread_(thread), shown_(shown), waiting_(std::make_shared<Waiting>()) {}

void ReportRelay::closeProgress() {
    const std::shared_ptr<Waiting> last = waiting_;
    std::lock_guard lock(last->mutex);
    // The post on its way keeps what it carries; the next progress starts another.
    if (last->posted)
        waiting_ = std::make_shared<Waiting>();
}

void ReportRelay::stage(const QString& text) {
    closeProgress();
    thread_.postHome([&shown = shown_, text] { shown.stage(text); });
}

void ReportRelay::progress(qint64 done, qint64 total) {
    {
        std::lock_guard lock(waiting_->mutex);
        waiting_->done = done;
        waiting_->total = total;
        if (std::exchange(waiting_->posted, true))
            return;
    }
    thread_.postHome([&shown = shown_, waiting = waiting_] {
        qint64 done = 0;
        qint64 total = 0;
        {
            std::lock_guard lock(waiting->mutex);
            done = waiting->done;
            total = waiting->total;
            waiting->posted = false;
        }
        shown.progress(done, total);
    });
}

void ReportRelay::tell(const QString& text, Icon icon, const QString& caption) {
    closeProgress();
    thread_.callHome([&] { shown_.tell(text, icon, caption); });
}

bool ReportRelay::ask(const QString& question) {
    closeProgress();
    bool yes = false;
    thread_.callHome([&] { yes = shown_.ask(question); });
    return yes;
}

void LogRelay::LogError(const QString& message) {
    thread_.callHome([&] { log_.LogError(message); });
}

} // namespace quorvex
