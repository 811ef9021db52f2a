#include "cli/console.h"
#include "package/unpublished_file.h"

#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <cmath>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
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

void Write(std::FILE* f, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f);
    std::fflush(f);
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

#ifndef Q_OS_WIN
void EndAsTheSignalWould(int signal) {
    RemovePartsInProgressNow();
    // SA_RESETHAND has put the default action back; the signal, held until this returns,
    // then ends the program, and its parent sees which signal did.
    ::raise(signal);
}
#endif

} // namespace

bool StdoutIsTerminal() {
    static const bool terminal = QUORVEX_ISATTY(stdout) != 0;
    return terminal;
}

void PrintLine(const QString& text) {
    LineTo(stdout, text);
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
    if (!StdoutIsTerminal())
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
    PrintError(prefix_.isEmpty() ? message : prefix_ + QStringLiteral(": ") + message);
}

LineProgress::LineProgress(QString label, bool quiet)
    : label_(std::move(label)), quiet_(quiet), terminal_(StdoutIsTerminal()) {}

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

void EndCleanlyOnSignals() {
#ifdef Q_OS_WIN
    // Ctrl-C ends the program through the system, which closes its files and so removes the
    // parts still being written.
#else
    struct sigaction action {};
    action.sa_handler = EndAsTheSignalWould;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        // A signal the caller ignores (a job started in the background) stays ignored.
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
#endif
}

} // namespace quorvex::cli
