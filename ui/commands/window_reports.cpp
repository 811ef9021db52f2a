#include "ui/commands/window_reports.h"

#include <algorithm>

namespace quorvex {

WindowReport::~WindowReport() {
    if (bar_ == Bar::HiddenAtEnd && barShown_)
        window_.progress().hide();
}

void WindowReport::stage(const QString& text) {
    window_.setText(WindowText::Message, text);
}

void WindowReport::progress(qint64 done, qint64 total) {
    window_.progress().fill(total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 0.0);
    if (!barShown_) {
        window_.progress().show();
        barShown_ = true;
    }
}

void WindowReport::tell(const QString& text, Icon icon, const QString& caption) {
    prompts_.message(text, icon, caption);
}

bool WindowReport::ask(const QString& question) {
    return AskYesNo(prompts_, question);
}

void UploadShown::progress(qint64 done, qint64) {
    window_.setText(WindowText::Step,
                    QStringLiteral("Status: Transmitting block #") + QString::number(done));
}

} // namespace quorvex
