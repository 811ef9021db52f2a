// Uploads 1 MiB and 8 MiB images to tftpd-hpa on loopback with the TFTP client behind a window
// that draws nothing, through the real window (the status line drawn as the technician sees
// it) and, in the same run and against the same server, with the tftp-hpa command-line client;
// prints the times, their ratios, and the CPU time to show that the program sleeps between
// datagrams. The window runs on the display when there is one (xcb, e.g. under xvfb-run),
// else offscreen. Exits non-zero when an upload does not arrive whole.
#include "base/catalogue.h"
#include "net/tftp_client.h"
#include "net_rig.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "support/tftpd_fixture.h"
#include "ui/frm_fw_updater.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <ctime>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#include <vector>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

constexpr int Repeats = 7;
constexpr const char* CliProgram = "/usr/bin/tftp";

double Seconds(qint64 ns) {
    return double(ns) / 1e9;
}
double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// CPU time of the children that have ended: the tftp-hpa client once it is reaped (the server
// runs to the end of the benchmark).
double ChildrenCpuSeconds() {
#ifdef Q_OS_UNIX
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
#else
    return 0;
#endif
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Passes everything through and notes when the write request leaves (on the transfer's
// thread; read once the transfer has ended).
class TimingSocket : public UdpSocket {
  public:
    TimingSocket(UdpSocket& inner, const QElapsedTimer& clock) : inner_(inner), clock_(clock) {}
    void setRemoteHost(const QString& h) override { inner_.setRemoteHost(h); }
    QString remoteHost() const override { return inner_.remoteHost(); }
    void setRemotePort(int p) override { inner_.setRemotePort(p); }
    void open() override { inner_.open(); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    void send(const QByteArray& d) override {
        if (d.size() >= 2 && d.at(0) == 0 && d.at(1) == char(tftp::OpWrq)) {
            wrqAtNs = clock_.nsecsElapsed();
            wrqAtCpu = CpuSeconds();
        }
        inner_.send(d);
    }
    std::optional<QByteArray> receive(int waitMs) override { return inner_.receive(waitMs); }
    qint64 wrqAtNs = 0;
    double wrqAtCpu = 0;

  private:
    UdpSocket& inner_;
    const QElapsedTimer& clock_;
};

// Notes when "Finished" is told.
class TimingReport : public TftpReport {
  public:
    explicit TimingReport(const QElapsedTimer& clock) : clock_(clock) {}
    void status(const QString& t) override {
        last = t;
        if (t == QLatin1String("Status: Finished.  Ready.")) {
            finishedAtNs = clock_.nsecsElapsed();
            finishedAtCpu = CpuSeconds();
        }
    }
    void step(int, const QString&) override {}
    QString last;
    qint64 finishedAtNs = 0;
    double finishedAtCpu = 0;

  private:
    const QElapsedTimer& clock_;
};

struct Run {
    bool whole = false;
    double total = 0;    // click to "Finished", with the pause before the write request
    double transfer = 0; // write request to "Finished"
    double cpu = 0;      // process CPU time over the transfer
};

Run UploadWithClient(const QByteArray& image, TftpdServer& server) {
    QFile::remove(server.pathOf(QStringLiteral("NYX2")));
    fakes::TableResolver resolver;
    SystemUdpSocket systemSocket(resolver);
    QElapsedTimer clock;
    TimingSocket socket(systemSocket, clock);
    fakes::RecordingLog log;
    TimingReport report(clock);
    TftpClient client(socket, log, report, server.port());

    Run r;
    clock.start();
    // One blocking call on this thread, as a front end's worker makes it.
    client.Upload(image, QStringLiteral("NYX2"), QStringLiteral("127.0.0.1"));
    r.cpu = report.finishedAtCpu - socket.wrqAtCpu;
    r.total = Seconds(report.finishedAtNs);
    r.transfer = Seconds(report.finishedAtNs - socket.wrqAtNs);
    QFile stored(server.pathOf(QStringLiteral("NYX2")));
    r.whole = report.last == QStringLiteral("Status: Finished.  Ready.") &&
              WaitUntil([&] { return stored.size() == image.size(); }, 2000) &&
              stored.open(QIODevice::ReadOnly) && stored.readAll() == image;
    return r;
}

constexpr const char* Finished = "Status: Finished.  Ready.";

// Counts the paints of the status line and notes when "Finished" is first painted, which is
// when the technician sees it.
class StatusPaints : public QObject {
  public:
    StatusPaints(QLabel* label, const QElapsedTimer& clock) : label_(label), clock_(clock) {
        label->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && e->type() == QEvent::Paint) {
            ++paints;
            if (finishedAtNs == 0 && label_->text() == QLatin1String(Finished)) {
                finishedAtNs = clock_.nsecsElapsed();
                finishedAtCpu = CpuSeconds();
                if (loop)
                    loop->quit();
            }
        }
        return false;
    }
    int paints = 0;
    qint64 finishedAtNs = 0;
    double finishedAtCpu = 0;
    QEventLoop* loop = nullptr;

  private:
    QLabel* label_;
    const QElapsedTimer& clock_;
};

struct WindowRun : Run {
    int paints = 0;
};

// The upload as the technician starts it: a network package loaded, the target box set to
// 127.0.0.1, a click on the window's main button; timed to the paint of "Finished".
WindowRun UploadThroughWindow(const QByteArray& image, TftpdServer& server) {
    QFile::remove(server.pathOf(QStringLiteral("NYX2")));
    QTemporaryDir programFolder;
    fakes::TableResolver resolver;
    SystemUdpSocket systemSocket(resolver);
    QElapsedTimer clock;
    TimingSocket socket(systemSocket, clock);
    LoadedFirmware fw;
    fakes::ScriptedPrompts prompts;
    fakes::ScriptedDialogs dialogs;
    fakes::FakeSerialPort serial;
    FrmFWUpdater form(
        FormDeps{fw, prompts, serial, socket, dialogs, programFolder.path(), server.port()});
    form.findChild<QLineEdit*>(QStringLiteral("txtIP"))->setText(QStringLiteral("127.0.0.1"));
    fw.Header.setProductCode(QStringLiteral("NYX2"));
    fw.Header.ChipId = NetworkChipId;
    fw.ProgramImage = image;
    form.showMedium(Medium::Network);
    form.show();
    WindowRun r;
    // A window that is not on the screen yet paints nothing.
    if (!WaitUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000))
        return r;
    RunEventsFor(50);
    StatusPaints paints(form.findChild<QLabel*>(QStringLiteral("lblStat")), clock);

    QEventLoop loop;
    paints.loop = &loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(60000);
    clock.start();
    form.findChild<QPushButton*>(QStringLiteral("cmdUpdate"))->click();
    if (paints.finishedAtNs == 0)
        loop.exec();
    r.paints = paints.paints;
    r.cpu = paints.finishedAtCpu - socket.wrqAtCpu;
    r.total = Seconds(paints.finishedAtNs);
    r.transfer = Seconds(paints.finishedAtNs - socket.wrqAtNs);
    QFile stored(server.pathOf(QStringLiteral("NYX2")));
    r.whole = paints.finishedAtNs != 0 &&
              WaitUntil([&] { return stored.size() == image.size(); }, 2000) &&
              stored.open(QIODevice::ReadOnly) && stored.readAll() == image;
    return r;
}

Run UploadWithCli(const QString& file, const QByteArray& image, TftpdServer& server) {
    QFile::remove(server.pathOf(QStringLiteral("CLI")));
    QProcess tftp;
    const double cpuBefore = ChildrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    tftp.start(QString::fromLatin1(CliProgram),
               {QStringLiteral("-m"), QStringLiteral("binary"), QStringLiteral("127.0.0.1"),
                QString::number(server.port()), QStringLiteral("-c"), QStringLiteral("put"), file,
                QStringLiteral("CLI")});
    Run r;
    if (!tftp.waitForFinished(60000))
        return r;
    r.transfer = r.total = Seconds(clock.nsecsElapsed());
    r.cpu = ChildrenCpuSeconds() - cpuBefore;
    QFile stored(server.pathOf(QStringLiteral("CLI")));
    r.whole = tftp.exitCode() == 0 && stored.open(QIODevice::ReadOnly) && stored.readAll() == image;
    return r;
}

// Time for the command-line client to start and exit without transferring anything.
double CliStartupSeconds() {
    std::vector<double> t;
    for (int i = 0; i < Repeats; ++i) {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        p.start(QString::fromLatin1(CliProgram), {QStringLiteral("-V")});
        p.waitForFinished(10000);
        t.push_back(Seconds(clock.nsecsElapsed()));
    }
    return Median(t);
}

// CPU time the client spends while the unit stays silent for a whole watchdog interval.
double CpuWhileSilent() {
    QUdpSocket silent;
    silent.bind(QHostAddress::LocalHost, 0);
    ClientRig rig(QByteArray(4096, 'x'), silent.localPort(), 1000);
    const double before = CpuSeconds();
    rig.uploadAndWait(5000, 250);
    return CpuSeconds() - before;
}

} // namespace

int main(int argc, char** argv) {
    // The display when there is one (xcb under xvfb-run), else no screen at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!TftpdServer::Installed() || !QFile::exists(QString::fromLatin1(CliProgram))) {
        std::printf("tftp_bench: needs %s (tftpd-hpa) and %s (tftp-hpa)\n", TftpdServer::Program,
                    CliProgram);
        return 2;
    }
    TftpdServer server;
    if (const QString why = server.start(); !why.isEmpty()) {
        std::printf("tftp_bench: %s\n", qPrintable(why));
        return 2;
    }
    QTemporaryDir work;
    bool allWhole = true;
    bool goal = true;
    const double startup = CliStartupSeconds();
    std::printf("tftp-hpa client start-up alone (median of %d): %.1f ms\n", Repeats, startup * 1e3);
    const QString platform = QGuiApplication::platformName();
    std::printf("Median and best of %d runs each, the three taking turns; times in ms. The window "
                "runs on the %s platform.\n",
                Repeats, qPrintable(platform));
    std::printf("%-7s %-22s %9s %9s %9s %9s %8s %7s %6s\n", "size", "client", "click..", "WRQ..",
                "best", "CPU", "CPU %", "status", "whole");
    std::printf("%-7s %-22s %9s %9s %9s %9s %8s %7s %6s\n", "", "", "Finished", "Finished", "WRQ..",
                "", "", "paints", "");

    struct Rows {
        std::vector<double> total, transfer, cpu, paints;
        bool whole = true;
    };
    const auto printRow = [](int mib, const QString& name, const Rows& r) {
        std::printf("%3d MiB %-22s %9.1f %9.1f %9.1f %9.1f %8.1f %7s %6s\n", mib, qPrintable(name),
                    Median(r.total) * 1e3, Median(r.transfer) * 1e3, Best(r.transfer) * 1e3,
                    Median(r.cpu) * 1e3, 100.0 * Median(r.cpu) / Median(r.transfer),
                    r.paints.empty() ? "-" : qPrintable(QString::number(Median(r.paints))),
                    r.whole ? "yes" : "NO");
    };
    for (const int mib : {1, 8}) {
        QByteArray image(mib * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < image.size(); ++i)
            image[i] = char((i * 2654435761u) >> 24);
        const QString file = work.filePath(QStringLiteral("image%1").arg(mib));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
            return 2;
        f.close();

        Rows client, window;
        std::vector<double> cli, cliCpu;
        bool cliWhole = true;
        for (int i = 0; i < Repeats; ++i) {
            const Run ours = UploadWithClient(image, server);
            const WindowRun drawn = UploadThroughWindow(image, server);
            const Run theirs = UploadWithCli(file, image, server);
            for (auto [rows, run] : {std::pair<Rows*, const Run*>{&client, &ours},
                                     std::pair<Rows*, const Run*>{&window, &drawn}}) {
                rows->whole = rows->whole && run->whole;
                rows->total.push_back(run->total);
                rows->transfer.push_back(run->transfer);
                rows->cpu.push_back(run->cpu);
            }
            window.paints.push_back(drawn.paints);
            cliWhole = cliWhole && theirs.whole;
            cli.push_back(theirs.total);
            cliCpu.push_back(theirs.cpu);
            if (qEnvironmentVariableIsSet("TFTP_BENCH_EACH"))
                std::printf("    run %d: client %.1f ms, window %.1f ms (%d paints), tftp-hpa "
                            "%.1f ms\n",
                            i + 1, ours.transfer * 1e3, drawn.transfer * 1e3, drawn.paints,
                            theirs.total * 1e3);
        }
        printRow(mib, QStringLiteral("quorvex TftpClient"), client);
        printRow(mib, QStringLiteral("quorvex window"), window);
        std::printf("%3d MiB %-22s %9.1f %9.1f %9.1f %9.1f %8.1f %7s %6s\n", mib,
                    "tftp-hpa (process)", Median(cli) * 1e3, Median(cli) * 1e3, Best(cli) * 1e3,
                    Median(cliCpu) * 1e3, 100.0 * Median(cliCpu) / Median(cli), "-",
                    cliWhole ? "yes" : "NO");
        for (auto [name, rows] : {std::pair<const char*, const Rows*>{"client", &client},
                                  std::pair<const char*, const Rows*>{"window", &window}}) {
            const double ratioBest = Best(rows->transfer) / Best(cli);
            const double ratioMedian = Median(rows->transfer) / Median(cli);
            const double ratioPause = Median(rows->total) / Median(cli);
            std::printf("%3d MiB %s ratio, WRQ to Finished against tftp-hpa: best %.2f, median "
                        "%.2f; median with the 100 ms pause: %.2f\n",
                        mib, name, ratioBest, ratioMedian, ratioPause);
            goal = goal && ratioMedian <= 1.0;
        }
        allWhole = allWhole && client.whole && window.whole && cliWhole;
    }
    std::printf("CPU while the unit is silent for a 1 s watchdog: %.1f ms\n",
                CpuWhileSilent() * 1e3);
    std::printf("tftp_bench: every image arrived whole: %s; median ratios <= 1.0: %s\n",
                allWhole ? "yes" : "NO", goal ? "yes" : "no");
    return allWhole ? 0 : 1;
}
