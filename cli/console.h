#pragma once
// Everything quorvex-cli prints goes through here: whole lines, written under one lock so that
// the lines of units flashed side by side never interleave, and one progress bar that is
// redrawn in place on a terminal and never written anywhere else.
#include "base/failure.h"
#include "base/progress_display.h"
#include "base/stop_request.h"

#include <QString>

namespace quorvex::cli {

// Text from outside the program (a unit's message, a product code, a file or device name) as
// it may reach a terminal: every control or format character written as a visible escape
// ("\x1b", "\n", "\u202e"), so that none is acted on. Everything else is left as it is.
QString Visible(const QString& text);
// A line of the program's own text that quotes text from outside: its leading tabs are the
// program's indentation (the refusal's) and stay tabs; the rest is as Visible makes it.
QString VisibleIndented(const QString& line);
// JSON as QJsonDocument writes it, which escapes only the characters below 0x20: the others
// that a terminal acts on are escaped too (\u009b), as JSON allows for any character.
QString VisibleJson(const QByteArray& json);

// True when standard output is a terminal (then a bar is redrawn with a carriage return).
bool StdoutIsTerminal();

// From now on every line for people (PrintLine) goes to standard error and no bar is drawn:
// standard output carries the command's JSON document alone. Called before any other thread
// prints.
void LinesForPeopleOnStandardError();

// A whole line (the line end is added) on standard output or standard error. On a terminal
// the bar is taken away first and drawn again below the line.
void PrintLine(const QString& text);
void PrintError(const QString& text);
// Text written as it is, without a line end (tables and JSON end their own lines).
void PrintRaw(const QString& text);

// From now on a write that fails (a closed pipe, a full disk, a device that refuses) never ends
// the program: the stream takes nothing more, and FinishOutput tells it at the end.
void WriteOnWhenOutputFails();
// The last flush of standard output and standard error; then what could not be written
// ("standard output: Broken pipe"), empty when everything was.
QString FinishOutput();

// The bar's text on a terminal; nothing elsewhere. An empty text takes the bar away.
void ShowBar(const QString& text);

// "[#########...........]  42%"
QString BarText(double fraction, int width = 30);

// Failures that the program would keep in ErrorLog.txt, as lines on standard error with the
// unit they belong to in front. Safe from any thread; nothing is written to a file.
class StderrLog : public ErrorSink {
  public:
    explicit StderrLog(QString prefix = {}) : prefix_(std::move(prefix)) {}
    void LogError(const QString& message) override;

  private:
    QString prefix_;
};

// The progress of one piece of work under a label: a bar on a terminal; elsewhere a plain
// line at each quarter, so that a log shows the work going on without a line per block.
class LineProgress : public ProgressDisplay {
  public:
    // `quiet`: nothing at all (the output is JSON, or the bar would only be noise).
    explicit LineProgress(QString label, bool quiet = false);
    void show() override;
    void fill(double f) override;
    void hide() override;

  private:
    QString label_;
    bool quiet_;
    bool terminal_;
    bool shown_ = false;
    int lastQuarter_ = -1;
    int lastPercent_ = -1;
};

// Ctrl-C, SIGTERM and SIGHUP end a command at once, as they would without this (a shell then
// reports 128 + the signal: 130, 143, 129), once the names of package parts still being
// written are gone. Nothing else needs it: a decoded body is only ever in memory.
void EndCleanlyOnSignals();

// From now on Ctrl-C, SIGTERM and SIGHUP make `stop`'s request, with the signal as its reason,
// instead of ending the program: the work stops at its next safe point and tells how far it
// got. A second Ctrl-C or SIGTERM ends the program at once, as above; a hang-up never does (a
// dropped connection may repeat it while the records are written). Until ForgetStopOnSignals,
// `stop` must live.
void StopOnSignals(StopRequest& stop);
// From now on the signals end the program at once again, when `stop` was the one they made.
void ForgetStopOnSignals(const StopRequest& stop);
// The status of a command that `stop` ended, as the shell reports a signal: 130 for Ctrl-C,
// 143 for SIGTERM, 129 for a hang-up.
int StoppedStatus(const StopRequest& stop);

} // namespace quorvex::cli
