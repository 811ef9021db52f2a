#include "cli/console.h"
#include "package/unpublished_file.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <signal.h>
#include <windows.h>
#define QUORVEX_ISATTY(f) _isatty(_fileno(f))
#else
#include <signal.h>
#include <unistd.h>
#define QUORVEX_ISATTY(f) isatty(fileno(f))
#endif

namespace quorvex::cli {

namespace {

QMutex& OutputLock() {
    static QMutex lock;
    return lock;
}

// The bar as it stands on the terminal now; empty when none is drawn.
QString& DrawnBar() {
    static QString bar;
    return bar;
}

// Why writing to standard output or standard error failed first; 0 while every write went
// out. Read and written with the lock held.
int& WriteFailure(std::FILE* f) {
    static int out = 0;
    static int err = 0;
    return f == stdout ? out : err;
}

// Called with the lock held. A stream that failed once takes nothing more: the pipe's reader
// has gone or the disk is full, and a later write that went through would leave a gap that
// nobody could see.
void Write(std::FILE* f, const QString& text) {
    int& failure = WriteFailure(f);
    if (failure != 0)
        return;
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f) ==
                         std::size_t(bytes.size());
    if (std::fflush(f) != 0 || !written || std::ferror(f))
        failure = errno != 0 ? errno : EIO;
}

// Called with the lock held.
void EraseBar() {
    QString& bar = DrawnBar();
    if (bar.isEmpty())
        return;
    Write(stdout, QLatin1Char('\r') + QString(bar.size(), QLatin1Char(' ')) + QLatin1Char('\r'));
}

void RedrawBar() {
    const QString& bar = DrawnBar();
    if (!bar.isEmpty())
        Write(stdout, bar);
}

void LineTo(std::FILE* f, const QString& text) {
    QMutexLocker locked(&OutputLock());
    EraseBar();
    Write(f, text + QLatin1Char('\n'));
    RedrawBar();
}

// Characters a terminal may act on, or that hide or reorder the text around them: C0 and
// C1 controls and DEL, format characters (bidirectional overrides, zero widths), line and
// paragraph separators, and halves of characters that have no other half.
bool ActedOn(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Calls `each` with every character of `text` and the number of UTF-16 units it takes.
template <typename Each> void ForEachCharacter(const QString& text, Each each) {
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            each(QChar::surrogateToUcs4(c, text.at(i + 1)), i, 2);
            i += 2;
        } else {
            each(char32_t(c.unicode()), i, 1);
            i += 1;
        }
    }
}

// Set once, before the units' threads start.
std::atomic<bool>& PeopleOnStderr() {
    static std::atomic<bool> set{false};
    return set;
}

std::FILE* LinesForPeople() {
    return PeopleOnStderr().load() ? stderr : stdout;
}

// The request a signal makes; a signal handler can reach nothing else.
std::atomic<StopRequest*> SignalledStop{nullptr};

constexpr char StopNotice[] = "\nquorvex-cli: stopping every unit at its next frame or block; a "
                              "second Ctrl-C or SIGTERM ends at once.\n";

// A line's leading tabs: the indentation of the program's own texts (the refusal's).
qsizetype LeadingTabs(const QString& line) {
    qsizetype n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char('\t'))
        ++n;
    return n;
}

#ifdef Q_OS_WIN
BOOL WINAPI StopOnConsoleBreak(DWORD event) {
    StopRequest* stop = SignalledStop.load();
    if ((event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) || !stop || stop->requested())
        return FALSE; // the system ends the program
    stop->request(SIGINT);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), StopNotice, DWORD(sizeof StopNotice - 1), &written,
              nullptr);
    return TRUE;
}
#else
void EndAsTheSignalWould(int signal) {
    const int interrupted = errno;
    RemovePartsInProgressNow();
    // SA_RESETHAND has put the default action back; the signal, held until this returns,
    // then ends the program, and its parent sees which signal did.
    ::raise(signal);
    errno = interrupted;
}

void StopOrEnd(int signal) {
    // The code the signal came between may be about to read errno.
    const int interrupted = errno;
    StopRequest* stop = SignalledStop.load();
    if (stop && stop->requested()) {
        // A hang-up repeated (the terminal's session ending) must not cut short the stop that
        // keeps the records; a second Ctrl-C or SIGTERM is someone who will not wait.
        if (signal != SIGHUP) {
            ::signal(signal, SIG_DFL);
            EndAsTheSignalWould(signal);
        }
    } else if (stop) {
        stop->request(signal);
        const ssize_t written = ::write(STDERR_FILENO, StopNotice, sizeof StopNotice - 1);
        (void)written; // a hung-up terminal takes nothing; nothing can be done about it here
    } else {
        ::signal(signal, SIG_DFL);
        EndAsTheSignalWould(signal);
    }
    errno = interrupted;
}

// `handler` for Ctrl-C, SIGTERM and SIGHUP, with `flags`. A signal the caller ignores (a job
// started in the background) stays ignored.
void HandleStopSignals(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}
#endif

} // namespace

QString Visible(const QString& text) {
    QString out;
    out.reserve(text.size());
    ForEachCharacter(text, [&](char32_t c, qsizetype at, qsizetype units) {
        if (!ActedOn(c)) {
            out += QStringView(text).mid(at, units);
            return;
        }
        switch (c) {
        case U'\n':
            out += QStringLiteral("\\n");
            return;
        case U'\r':
            out += QStringLiteral("\\r");
            return;
        case U'\t':
            out += QStringLiteral("\\t");
            return;
        default:
            break;
        }
        if (c <= 0xFF)
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else if (c <= 0xFFFF)
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
    });
    return out;
}

QString VisibleIndented(const QString& line) {
    const qsizetype tabs = LeadingTabs(line);
    return line.left(tabs) + Visible(line.mid(tabs));
}

QString VisibleJson(const QByteArray& json) {
    const QString text = QString::fromUtf8(json);
    QString out;
    out.reserve(text.size());
    // Outside its strings, JSON holds no character above the blank but its own punctuation;
    // the line ends and indentation below it are the layout's and stay.
    ForEachCharacter(text, [&](char32_t c, qsizetype at, qsizetype units) {
        if (c < 0x20 || !ActedOn(c)) {
            out += QStringView(text).mid(at, units);
            return;
        }
        for (qsizetype u = at; u < at + units; ++u)
            out += QStringLiteral("\\u%1").arg(text.at(u).unicode(), 4, 16, QLatin1Char('0'));
    });
    return out;
}

bool StdoutIsTerminal() {
    static const bool terminal = QUORVEX_ISATTY(stdout) != 0;
    return terminal;
}

void LinesForPeopleOnStandardError() {
    PeopleOnStderr().store(true);
}

void PrintLine(const QString& text) {
    LineTo(LinesForPeople(), text);
}

void PrintError(const QString& text) {
    LineTo(stderr, text);
}

void PrintRaw(const QString& text) {
    QMutexLocker locked(&OutputLock());
    EraseBar();
    Write(stdout, text);
    RedrawBar();
}

void ShowBar(const QString& text) {
    if (!StdoutIsTerminal() || PeopleOnStderr().load())
        return;
    QMutexLocker locked(&OutputLock());
    EraseBar();
    DrawnBar() = text;
    RedrawBar();
}

QString BarText(double fraction, int width) {
    const double f = std::clamp(fraction, 0.0, 1.0);
    const int filled = int(std::floor(f * width));
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('.')) +
           QStringLiteral("] %1%").arg(int(std::floor(f * 100)), 3);
}

void StderrLog::LogError(const QString& message) {
    PrintError(prefix_.isEmpty() ? Visible(message)
                                 : Visible(prefix_) + QStringLiteral(": ") + Visible(message));
}

LineProgress::LineProgress(QString label, bool quiet)
    : label_(Visible(label)), quiet_(quiet), terminal_(StdoutIsTerminal()) {}

void LineProgress::show() {
    shown_ = true;
}

void LineProgress::fill(double f) {
    if (quiet_)
        return;
    f = std::clamp(f, 0.0, 1.0);
    if (terminal_) {
        const int percent = int(std::floor(f * 100));
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        ShowBar(label_ + QLatin1Char(' ') + BarText(f));
        return;
    }
    const int quarter = int(std::floor(f * 4));
    if (quarter == lastQuarter_)
        return;
    lastQuarter_ = quarter;
    PrintLine(QStringLiteral("%1 %2%").arg(label_).arg(quarter * 25));
}

void LineProgress::hide() {
    if (!shown_)
        return;
    shown_ = false;
    if (terminal_ && !quiet_)
        ShowBar(QString());
}

void WriteOnWhenOutputFails() {
#ifndef Q_OS_WIN
    // A write to a pipe whose reader has gone then fails with EPIPE, like any other failed
    // write, instead of ending the program between two frames of a unit.
    ::signal(SIGPIPE, SIG_IGN);
#endif
}

QString FinishOutput() {
    QMutexLocker locked(&OutputLock());
    EraseBar();
    DrawnBar().clear();
    QStringList lost;
    for (std::FILE* f : {stdout, stderr}) {
        int& failure = WriteFailure(f);
        errno = 0;
        if (failure == 0 && (std::fflush(f) != 0 || std::ferror(f)))
            failure = errno != 0 ? errno : EIO;
        if (failure != 0)
            lost << (f == stdout ? QStringLiteral("standard output: ")
                                 : QStringLiteral("standard error: ")) +
                        qt_error_string(failure);
    }
    return lost.join(QStringLiteral("; "));
}

void EndCleanlyOnSignals() {
#ifdef Q_OS_WIN
    // Ctrl-C ends the program through the system, which closes its files and so removes the
    // parts still being written.
#else
    HandleStopSignals(EndAsTheSignalWould, SA_RESETHAND);
#endif
}

void StopOnSignals(StopRequest& stop) {
    SignalledStop.store(&stop);
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(StopOnConsoleBreak, TRUE);
#else
    // The units' threads sleep in the system's waits; they go on sleeping, and look at the
    // request when they wake.
    HandleStopSignals(StopOrEnd, SA_RESTART);
#endif
}

void ForgetStopOnSignals(const StopRequest& stop) {
    StopRequest* mine = const_cast<StopRequest*>(&stop);
    SignalledStop.compare_exchange_strong(mine, nullptr);
}

int StoppedStatus(const StopRequest& stop) {
    return 128 + stop.reason();
}

} // namespace quorvex::cli
