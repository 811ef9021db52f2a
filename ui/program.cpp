#include "ui/program.h"

#include "base/loaded_firmware.h"
#include "base/own_files.h"
#include "flow/system_devices.h"
#include "ui/frm_fw_updater.h"
#include "ui/qt_file_dialogs.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QDir>

namespace quorvex {

int RunProgram(QApplication& app) {
    // The window's package record; the window and the work it starts are handed a reference.
    LoadedFirmware firmware;
    QtPrompts prompts;
    SystemDevices devices;
    QtFileDialogBackend dialogs;
    // Empty for an installed program: its log then goes to the user's state folder, never into
    // the system's own.
    const QString programFolder =
        OwnFilesFolder(QDir::cleanPath(QCoreApplication::applicationDirPath()));

    FrmFWUpdater form(
        FormDeps{firmware, prompts, devices.serial(), devices.socket(), dialogs, programFolder});
    prompts.setParentWindow(&form);
    form.show();
    return app.exec();
}

} // namespace quorvex
