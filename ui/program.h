#pragma once
#include <QString>
#include <QStringList>

class QApplication;

namespace quorvex {

// The package named on the command line (what is left of the arguments once Qt has taken its
// own): empty for none. More than one is an error, told in `why`.
QString PackageArgument(const QStringList& arguments, QString* why);

// Builds the devices and the window with the Qt implementations and runs until the window
// closes. A `package` opens once the window shows, as if it had been browsed for.
// QUORVEX_DEVICES names a folder that holds the serial devices instead of the system's (a
// simulated unit's, as quorvex-cli's --devices does); QUORVEX_TFTP_PORT the network units'
// TFTP port instead of 69.
int RunProgram(QApplication& app, const QString& package = {});

} // namespace quorvex
