// The program's entry: checks that there is a screen to show the window on, builds the devices
// and the window, and hands over to the event loop.
#include "base/identity.h"
#include "ui/program.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

// Qt aborts without a display; a technician on a headless machine is better told what to do.
bool HasDisplay() {
#if defined(Q_OS_LINUX)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

// The window's own arguments: these two, answered without a display, and a package to open;
// everything else goes to Qt as before.
constexpr const char* HelpText =
    "Usage: quorvex [--help | --version | PACKAGE.dff]\n"
    "\n"
    "Opens the Quorvex window: browse for a firmware package (.dff), then flash a serial\n"
    "unit on a COM port or upload to a network unit by its IP address. A PACKAGE named\n"
    "here opens at once, as if browsed for. Without a display, run it under a virtual one:\n"
    "xvfb-run -a quorvex\n"
    "\n"
    "Options:\n"
    "  --help      show this help\n"
    "  --version   print the program's name and version\n"
    "\n"
    "Environment:\n"
    "  QUORVEX_DEVICES    a folder holding the serial devices to list instead of /dev\n"
    "  QUORVEX_TFTP_PORT  the network units' TFTP port instead of 69\n"
    "\n"
    "Exit status: 0 when the window was closed; 2 when there is no display or more than\n"
    "one package is named.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvex %s\n", qPrintable(quorvex::ProgramVersionText()));
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "quorvex: no display found; run it under a virtual one: xvfb-run -a %s\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    // The desktop pairs the window with its menu entry, and so with its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tolvane.Quorvex"));
    QString why;
    const QString package = quorvex::PackageArgument(QApplication::arguments(), &why);
    if (!why.isEmpty()) {
        std::fprintf(stderr, "quorvex: %s\n", qPrintable(why));
        return 2;
    }
    return quorvex::RunProgram(app, package);
}
