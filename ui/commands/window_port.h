#pragma once
// What the window's commands show in the main window, and the two things they read there: the
// chosen port and the target address. The use cases never see the window (they report through
// Report). The window implements it; tests use a fake that records.
#include "base/progress_display.h"
#include "flow/serial_ports.h"

#include <QList>
#include <QString>

namespace quorvex {

// SerialCommPort as a value: "Com n" entries, each with the device the scan found behind it (its
// tooltip, which the upload opens again), and the entry chosen, -1 for none. The window keeps
// an entry's text and device, not its number.
struct PortList {
    QList<PortEntry> entries;
    int chosen = -1;

    const PortEntry* choice() const {
        return chosen >= 0 && chosen < entries.size() ? &entries[chosen] : nullptr;
    }
};

// The window's texts.
enum class WindowText {
    Caption, // cmdUpdate
    Message, // lblMessage, which the hidden cmdUpdate uncovers
    Status,  // lblStat: an outcome or a failure, drawn at once, after the last step
    // lblStat: one step of work under way (a block sent); the window may merge it with the
    // steps that follow.
    Step,
};

// How much of the window is locked while work runs.
enum class Lock {
    None,     // every control usable, cmdUpdate shown
    Controls, // every text box, label, drop-down list and button but lblStat disabled
    // As Controls, and cmdUpdate hidden, which uncovers lblMessage and picProgress under it: a
    // unit is being flashed.
    Working,
};

// Which medium panel shows, in their one shared place: picSerMedium, picEthMedium or none.
enum class Medium { None, Serial, Network };

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    virtual void lock(Lock how) = 0;
    // The hourglass over the window while the ports are tried.
    virtual void showBusy(bool busy) = 0;
    virtual void setText(WindowText where, const QString& text) = 0;
    virtual void showMedium(Medium medium) = 0;

    virtual PortList portList() const = 0;
    virtual void setPortList(const PortList& list) = 0;
    // txtIP
    virtual QString targetAddress() const = 0;

    // picProgress
    virtual ProgressDisplay& progress() = 0;
    // Restores a minimised window and brings it to the front.
    virtual void restoreAndRaise() = 0;
    // Closes the window from code, which ends the program.
    virtual void closeWindow() = 0;
};

} // namespace quorvex
