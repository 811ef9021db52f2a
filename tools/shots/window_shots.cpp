// Renders the window in its main states to PNG files, offscreen, for the README:
//   window_shots OUTDIR SERIAL.dff NETWORK.dff
// The packages are loaded through the window as a technician would (the question answered Yes);
// the flashing and uploading pictures show the window as the transfers leave it mid-way.
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"
#include "ui/frm_fw_updater.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

using namespace quorvex;

namespace {

class YesPrompts : public Prompts {
  public:
    void message(const QString& text, Icon, const QString&) override {
        std::fprintf(stderr, "window_shots: unexpected message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&) override { return true; }
    void openInViewer(const QString&) override {}
};

class OneFile : public FileDialogBackend {
  public:
    QString path;
    std::optional<QString> show(const FileDialogRequest&) override { return path; }
};

bool Save(FrmFWUpdater& form, const QString& folder, const char* name) {
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "window_shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

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
    form.findChild<QWidget*>(QStringLiteral("txtIP"))
        ->setProperty("text", QStringLiteral("10.1.4.200"));
    ok = ok && Save(form, out, "window-network-loaded.png");
    form.setUpdateVisible(false);
    form.EnableControls(false);
    form.setText(WindowText::Status, QStringLiteral("Status: Transmitting block #2"));
    ok = ok && Save(form, out, "window-uploading.png");
    return ok ? 0 : 1;
}
