// Renders the window in its main states to PNG files, offscreen, for the README:
//   window_shots OUTDIR SERIAL.dff NETWORK.dff
// The packages are loaded through the window as a technician would (the question answered Yes);
// the flashing and uploading pictures show the window as the transfers leave it mid-way.
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"
#include "shots.h"

#include <QTemporaryDir>

using namespace quorvex;
using namespace quorvex::shots;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_shots OUTDIR SERIAL.dff NETWORK.dff\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    // A device folder with one pseudo-port-free entry list: the pictures show no real ports.
    QTemporaryDir devices;
    QTemporaryDir programFolder;
    LoadedFirmware firmware;
    YesPrompts prompts;
    QtSerialPort serial(devices.path());
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    OneFile dialogs;
    FrmFWUpdater form(FormDeps{firmware, prompts, serial, socket, dialogs, programFolder.path()});
    form.show();

    bool ok = Save(form, out, "window-ready.png");

    dialogs.path = QString::fromLocal8Bit(argv[2]);
    form.cmdUpdate_Click();
    ok = RunUntilIdle(form) && ok;
    form.setPortList({{PortEntry{1, QStringLiteral("Com 1"), QStringLiteral("/dev/ttyUSB0")},
                       PortEntry{3, QStringLiteral("Com 3"), QStringLiteral("/dev/ttyS0")}},
                      0});
    ok = ok && Save(form, out, "window-serial-loaded.png");

    form.setUpdateVisible(false);
    form.EnableControls(false);
    form.setText(WindowText::Message, QStringLiteral("Flashing firmware..."));
    form.progress().show();
    form.progress().fill(0.42);
    ok = ok && Save(form, out, "window-flashing.png");
    form.progress().hide();
    form.setUpdateVisible(true);
    form.EnableControls(true);

    firmware.releaseImages();
    dialogs.path = QString::fromLocal8Bit(argv[3]);
    form.cmdUpdate_Click();
    ok = RunUntilIdle(form) && ok;
    form.findChild<QWidget*>(QStringLiteral("txtIP"))
        ->setProperty("text", QStringLiteral("10.1.4.200"));
    ok = ok && Save(form, out, "window-network-loaded.png");
    form.setUpdateVisible(false);
    form.EnableControls(false);
    form.setText(WindowText::Status, QStringLiteral("Status: Transmitting block #2"));
    ok = ok && Save(form, out, "window-uploading.png");
    return ok ? 0 : 1;
}
