#pragma once
// What the flow does to the main window, and nothing more: the layers below it never see the
// window (they report through FlashReport and TftpReport). The window implements it; tests use
// a fake that records.
#include "base/progress_display.h"
#include <QString>

namespace quorvex {

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    // Enables or disables every text box, label, drop-down list and button but lblStat.
    virtual void EnableControls(bool enabled) = 0;

    // cmdUpdate
    virtual void setUpdateCaption(const QString& caption) = 0;
    virtual QString updateCaption() const = 0;
    virtual void setUpdateVisible(bool visible) = 0;

    // lblMessage and lblStat
    virtual void setMessage(const QString& text) = 0;
    virtual void setStatus(const QString& text) = 0;
    // A status text that reports one step of work under way (a block sent), from whichever
    // thread does the work, never at the same time as another call. The window may draw it
    // later, merged with the steps that follow; setStatus texts (an outcome, a failure) are
    // drawn at once, after the last step. status() gives the newest text.
    virtual void setProgressStatus(const QString& text) { setStatus(text); }
    virtual QString status() const = 0;

    // picSerMedium, picEthMedium
    virtual void setSerialPanelVisible(bool visible) = 0;
    virtual void setEthPanelVisible(bool visible) = 0;

    // txtIP
    virtual QString targetAddress() const = 0;

    // SerialCommPort: the port list. The tooltip names the device behind an entry, the one
    // the scan found, and the entry keeps it for the upload.
    virtual void clearPorts() = 0;
    virtual void addPort(const QString& text, const QString& tooltip) = 0;
    virtual int portCount() const = 0;
    virtual void selectPort(int index) = 0;
    virtual int selectedPortIndex() const = 0; // -1 when nothing is selected
    virtual QString selectedPortText() const = 0;
    virtual QString selectedPortDevice() const = 0; // the tooltip's device; empty when none

    // Hourglass over the window while ports are scanned.
    virtual void setBusyPointer(bool busy) = 0;
    // Restores a minimised window and brings it to the front.
    virtual void restoreAndRaise() = 0;
    // Closes the window from code, which ends the program.
    virtual void closeWindow() = 0;

    // picProgress
    virtual ProgressDisplay& progress() = 0;
};

} // namespace quorvex
