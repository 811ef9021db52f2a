#pragma once
// The window as the use cases report to it: stages in the message line, progress in the bar,
// boxes and questions; an upload's stages and blocks in the status line.
#include "base/prompts.h"
#include "flow/report.h"
#include "ui/commands/window_port.h"

namespace quorvex {

// A use case as the window shows it: the stage in the message line, the bar, the boxes and the
// question.
class WindowReport : public Report {
  public:
    // Whether the bar goes when the report does (a load, a build), or stays for the caller to
    // take away (a serial flash, whose window is given back later).
    enum class Bar { Kept, HiddenAtEnd };

    WindowReport(WindowPort& window, Prompts& prompts, Bar bar = Bar::Kept)
        : window_(window), prompts_(prompts), bar_(bar) {}
    ~WindowReport() override;
    WindowReport(const WindowReport&) = delete;
    WindowReport& operator=(const WindowReport&) = delete;
    void stage(const QString& text) override;
    // The first report shows the bar.
    void progress(qint64 done, qint64 total) override;
    void tell(const QString& text, Icon icon, const QString& caption) override;
    bool ask(const QString& question) override;

  protected:
    WindowPort& window_;

  private:
    Prompts& prompts_;
    Bar bar_;
    bool barShown_ = false;
};

// An upload as the window shows it: its stages and each block sent in the status line; the
// bar stays as it was. Boxes and questions as for any use case.
class UploadShown : public WindowReport {
  public:
    UploadShown(WindowPort& window, Prompts& prompts) : WindowReport(window, prompts) {}
    void stage(const QString& text) override { window_.setText(WindowText::Status, text); }
    void progress(qint64 done, qint64 total) override;
};

} // namespace quorvex
