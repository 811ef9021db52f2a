#include "ui/program.h"

#include "base/last_folder.h"
#include "base/loaded_firmware.h"
#include "base/own_files.h"
#include "flow/system_devices.h"
#include "ui/frm_fw_updater.h"
#include "ui/log_naming_prompts.h"
#include "ui/qt_file_dialogs.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace quorvex {

QString PackageArgument(const QStringList& arguments, QString* why) {
    QStringList files = arguments.mid(1);
    files.removeAll(QStringLiteral("--"));
    if (files.size() > 1) {
        *why = QStringLiteral("one package at a time, not %1").arg(files.size());
        return {};
    }
    return files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
}

int RunProgram(QApplication& app, const QString& package) {
    // The window's package record; the window and the work it starts are handed a reference.
    LoadedFirmware firmware;
    QtPrompts prompts;
    // A folder of the user's stands in for /dev where there are no ports of the user's own
    // (try-it's simulated units).
    SystemDevices devices(qEnvironmentVariable("QUORVEX_DEVICES"));
    QtFileDialogBackend dialogs;
    // Empty for an installed program: its log then goes to the user's state folder, never into
    // the system's own.
    const QString programFolder =
        OwnFilesFolder(QDir::cleanPath(QCoreApplication::applicationDirPath()));
    const FrmFWUpdater* window = nullptr;
    LogNamingPrompts boxes(prompts, programFolder,
                           [&window] { return window ? window->errorLog().path() : QString(); });

    FormDeps deps{firmware, boxes, devices.serial(), devices.socket(), dialogs, programFolder};
    bool portOk = false;
    const int tftpPort = qEnvironmentVariableIntValue("QUORVEX_TFTP_PORT", &portOk);
    if (portOk && tftpPort > 0 && tftpPort <= 65535)
        deps.tftpServerPort = tftpPort;
    deps.configFolder = LastFolder::UserConfigFolder();
    FrmFWUpdater form(std::move(deps));
    window = &form;
    prompts.setParentWindow(&form);
    form.show();
    if (!package.isEmpty())
        QTimer::singleShot(0, &form, [&form, package] { form.openPackage(package); });
    return app.exec();
}

} // namespace quorvex
