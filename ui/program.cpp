#include "ui/program.h"

#include "base/last_folder.h"
#include "base/loaded_firmware.h"
#include "base/own_files.h"
#include "net/host_resolver.h"
#include "net/system_udp_socket.h"
#include "serial/qt_serial_port.h"
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
    // The one package record of the run; everything else is handed a reference to it.
    LoadedFirmware firmware;
    QtPrompts prompts;
    const QString devices = qEnvironmentVariable("QUORVEX_DEVICES");
    QtSerialPort serial(devices.isEmpty() ? QtSerialPort::DefaultFolder() : devices);
    SystemHostResolver resolver;
    SystemUdpSocket socket(resolver);
    QtFileDialogBackend dialogs;
    // Empty for an installed program: its log then goes to the user's state folder and a
    // package's decoded body to the system's temporary folder, never into the system's own.
    const QString programFolder =
        OwnFilesFolder(QDir::cleanPath(QCoreApplication::applicationDirPath()));
    const FrmFWUpdater* window = nullptr;
    LogNamingPrompts boxes(prompts, programFolder,
                           [&window] { return window ? window->errorLog().path() : QString(); });

    FormDeps deps{firmware, boxes, serial, socket, dialogs, programFolder};
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
