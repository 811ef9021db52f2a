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

// The window takes no arguments of its own beyond these two, answered without a display;
// everything else goes to Qt as before.
constexpr const char* HelpText =
    "Usage: quorvex [--help | --version]\n"
    "\n"
    "Opens the Quorvex window: browse for a firmware package (.dff), then flash a serial\n"
    "unit on a COM port or upload to a network unit by its IP address. Without a display,\n"
    "run it under a virtual one: xvfb-run -a quorvex\n"
    "\n"
    "Options:\n"
    "  --help      show this help\n"
    "  --version   print the program's name and version\n"
    "\n"
    "Exit status: 0 when the window was closed; 2 when there is no display.\n";

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
    return quorvex::RunProgram(app);
}
