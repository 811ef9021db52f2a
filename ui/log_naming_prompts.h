#pragma once
// Boxes that send the technician to ErrorLog.txt say where it lies when that is not beside the
// program (an installed program keeps it in the user's state folder, which nothing else in the
// window names).
#include "base/prompts.h"

#include <functional>

namespace quorvex {

class LogNamingPrompts : public Prompts {
  public:
    // `logPath` gives the log's path at the moment a box is shown (the log may move to the
    // state folder during the run); `programFolder` is empty for an installed program.
    LogNamingPrompts(Prompts& boxes, QString programFolder, std::function<QString()> logPath)
        : boxes_(boxes), programFolder_(std::move(programFolder)), logPath_(std::move(logPath)) {}

    void message(const QString& text, Icon icon, const QString& caption) override;
    bool askYesNo(const QString& text, const QString& caption) override {
        return boxes_.askYesNo(text, caption);
    }
    void openInViewer(const QString& path) override { boxes_.openInViewer(path); }

  private:
    Prompts& boxes_;
    QString programFolder_;
    std::function<QString()> logPath_;
};

} // namespace quorvex
