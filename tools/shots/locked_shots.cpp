// Renders the window locked while it calls a simulated serial unit, in the platform's own
// palette and in a dark one: the countdown line must stay readable while everything else is
// disabled.
//   locked_shots OUTDIR SERIAL.dff
// Writes window-locked.png and window-locked-dark.png. Run it on a display (xvfb-run -a) or
// offscreen.
#include "bootsim/simulator.h"
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"
#include "shots.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::shots;

namespace {

QPalette DarkPalette() {
    QPalette p(QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7f, 0x7f, 0x7f));
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7f, 0x7f, 0x7f));
    p.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7f, 0x7f, 0x7f));
    return p;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: locked_shots OUTDIR SERIAL.dff\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    // A TORV5 that stays silent for the first hellos, so that the countdown runs.
    bootsim::Options options;
    options.identification = 0x40;
    options.answerHellosFrom = 9;
    bootsim::Simulator unit(options);
    QString why;
    if (!unit.start(&why)) {
        std::fprintf(stderr, "locked_shots: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir devices;
    QTemporaryDir programFolder;
    QFile::link(unit.slavePath(), devices.filePath(QStringLiteral("ttyUSB0")));

    LoadedFirmware firmware;
    YesPrompts prompts;
    QtSerialPort serial(devices.path());
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    OneFile dialogs;
    dialogs.path = QString::fromLocal8Bit(argv[2]);
    auto form = std::make_unique<FrmFWUpdater>(
        FormDeps{firmware, prompts, serial, socket, dialogs, programFolder.path()});
    form->show();
    form->cmdUpdate_Click();
    RunUntilIdle(*form);
    if (!firmware.isLoaded()) {
        std::fprintf(stderr, "locked_shots: the package did not load\n");
        return 1;
    }
    form->cmdUpdate_Click();
    auto* message = form->findChild<QLabel*>(QStringLiteral("lblMessage"));
    const auto counting = [&] { return message->text().contains(QLatin1String("seconds)")); };
    if (!RunFor(5000, counting)) {
        std::fprintf(stderr, "locked_shots: no countdown (%s)\n", qPrintable(message->text()));
        return 1;
    }
    RunFor(1500, [] { return false; });
    bool ok = Save(*form, out, "window-locked.png");
    QApplication::setPalette(DarkPalette());
    ok = Save(*form, out, "window-locked-dark.png") && ok;
    // Closing stops the flash at its next hello and gives the port back.
    form->closeWindow();
    RunFor(5000, [&] { return !form->isVisible(); });
    form.reset();
    unit.stop();
    return ok ? 0 : 1;
}
