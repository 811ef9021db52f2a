#pragma once
// The window as the serial flash and the network upload report to it: stages in the message
// line, progress in the bar, outcomes in boxes or in the status line.
#include "base/prompts.h"
#include "flow/window_port.h"
#include "net/tftp_client.h"
#include "serial/flash_report.h"

namespace quorvex {

class WindowFlashReport : public FlashReport {
  public:
    WindowFlashReport(WindowPort& window, Prompts& prompts) : window_(window), prompts_(prompts) {}
    void message(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    void error(const QString& text, const QString& caption) override;
    void info(const QString& text) override;

  private:
    WindowPort& window_;
    Prompts& prompts_;
    bool barShown_ = false;
};

class WindowTftpReport : public TftpReport {
  public:
    explicit WindowTftpReport(WindowPort& window) : window_(window) {}
    void status(const QString& text) override { window_.setText(WindowText::Status, text); }
    // On the transfer's own thread.
    void step(const QString& text) override { window_.setText(WindowText::Step, text); }
    // The transfer is over, whichever way: the window is given back.
    void ended() override;

  private:
    WindowPort& window_;
};

} // namespace quorvex
