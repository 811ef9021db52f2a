// The program's entry: checks that there is a screen to show the window on, builds the devices
// and the window, and hands over to the event loop.
#include "ui/program.h"

#include <QApplication>
#include <cstdio>

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

} // namespace

int main(int argc, char** argv) {
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
