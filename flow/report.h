#pragma once
// What a use case (open a package, flash a serial unit, upload to a network unit, build a
// package) tells the front end that started it, and what it asks: one shape for all of them and
// for both front ends. The use case's final outcome is its return value, not a call here.
//
// Every call comes on the thread the use case runs on. A front end that draws on another thread
// passes them on; tell() and ask() return only once the person has seen the box or answered, so
// the use case waits for the technician before it goes on.
#include "base/prompts.h"

#include <QString>
#include <QtGlobal>

namespace quorvex {

class Report {
  public:
    virtual ~Report() = default;
    // A stage, the countdown or a status line: "Please reset the unit... (9 seconds)",
    // "Flashing firmware...", "Status: Transmitting block #12".
    virtual void stage(const QString& text) = 0;
    // `done` of `total` (bytes or blocks) are behind. A front end may merge reports that come
    // quickly one after another; the use case never does.
    virtual void progress(qint64 done, qint64 total) = 0;
    // A box with one OK button and `caption`; returns when it has been closed.
    virtual void tell(const QString& text, Icon icon, const QString& caption) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask(const QString& question) = 0;
};

} // namespace quorvex
