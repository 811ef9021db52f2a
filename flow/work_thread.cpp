#include "flow/work_thread.h"

#include <QMetaObject>
#include <chrono>
#include <future>
#include <memory>

namespace quorvex {

WorkThread::WorkThread() : onThread_(new QObject) {
    onThread_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, onThread_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("work"));
    thread_.start();
}

WorkThread::~WorkThread() {
    abandoned_ = true;
    thread_.quit();
    thread_.wait();
}

void WorkThread::start(std::function<void()> job, std::function<void()> done) {
    QMetaObject::invokeMethod(
        onThread_,
        [this, job = std::move(job), done = std::move(done)]() mutable {
            job();
            postHome(std::move(done));
        },
        Qt::QueuedConnection);
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

void ReportRelay::stage(const QString& text) {
    thread_.postHome([&shown = shown_, text] { shown.stage(text); });
}

void ReportRelay::progress(qint64 done, qint64 total) {
    thread_.postHome([&shown = shown_, done, total] { shown.progress(done, total); });
}

void ReportRelay::tell(const QString& text, Icon icon, const QString& caption) {
    thread_.callHome([&] { shown_.tell(text, icon, caption); });
}

bool ReportRelay::ask(const QString& question) {
    bool yes = false;
    thread_.callHome([&] { yes = shown_.ask(question); });
    return yes;
}

void LogRelay::LogError(const QString& message) {
    thread_.callHome([&] { log_.LogError(message); });
}

} // namespace quorvex
