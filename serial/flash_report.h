#pragma once
// What a serial flash tells whoever runs it. The use case above passes it on in the one report
// shape that both front ends take: the window draws it, the command line prints it.
#include <QString>
#include <QtGlobal>

namespace quorvex {

class FlashReport {
  public:
    virtual ~FlashReport() = default;
    // A stage or the countdown: "Please reset the unit... (9 seconds)", "Flashing firmware...".
    virtual void message(const QString& text) = 0;
    // `done` of `total` bytes of the image are behind; the first report shows the bar.
    virtual void progress(qint64 done, qint64 total) = 0;
    // A failure the technician must know of, with the caption of its box.
    virtual void error(const QString& text, const QString& caption) = 0;
    // Good news, or a notice that asks the technician to act (the unit was not reset).
    virtual void info(const QString& text) = 0;
};

} // namespace quorvex
