#include "flow/window_reports.h"

#include <algorithm>

namespace quorvex {

void WindowFlashReport::message(const QString& text) {
    window_.setText(WindowText::Message, text);
}

void WindowFlashReport::progress(qint64 done, qint64 total) {
    window_.progress().fill(total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 0.0);
    if (!barShown_) {
        window_.progress().show();
        barShown_ = true;
    }
}

void WindowFlashReport::error(const QString& text, const QString& caption) {
    prompts_.message(text, Icon::Error, caption);
}

void WindowFlashReport::info(const QString& text) {
    ShowInfo(prompts_, text);
}

void WindowTftpReport::ended() {
    window_.setUpdateVisible(true);
    window_.EnableControls(true);
}

} // namespace quorvex
