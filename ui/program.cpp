#include "ui/program.h"

#include "base/loaded_firmware.h"
#include "base/own_files.h"
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"
#include "ui/frm_fw_updater.h"
#include "ui/qt_file_dialogs.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QDir>

namespace quorvex {

int RunProgram(QApplication& app) {
    // The one package record of the run; everything else is handed a reference to it.
    LoadedFirmware firmware;
    QtPrompts prompts;
    QtSerialPort serial;
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    QtFileDialogBackend dialogs;
    // Empty for an installed program: its log then goes to the user's state folder and a
    // package's decoded body to the system's temporary folder, never into the system's own.
    const QString programFolder =
        OwnFilesFolder(QDir::cleanPath(QCoreApplication::applicationDirPath()));

    FrmFWUpdater form(FormDeps{firmware, prompts, serial, socket, dialogs, programFolder});
    prompts.setParentWindow(&form);
    form.show();
    return app.exec();
}

} // namespace quorvex
