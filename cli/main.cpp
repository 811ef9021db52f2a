// quorvex-cli: the updater's packages, serial flashing and network upload without the window.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"

#include <QCoreApplication>

using namespace quorvex::cli;

namespace {

int Run(const Arguments& a) {
    switch (a.command) {
    case Command::Help:
        PrintRaw(HelpText(a.helpFor));
        return ExitOk;
    case Command::Version:
        PrintLine(VersionText());
        return ExitOk;
    case Command::Info:
        return RunInfo(a);
    case Command::Pack:
        return RunPack(a);
    case Command::Ports:
        return RunPorts(a);
    case Command::Flash:
        return RunFlash(a);
    case Command::Upload:
        return RunUpload(a);
    }
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EndCleanlyOnSignals();
    WriteOnWhenOutputFails();
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const auto parsed = ParseArguments(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        PrintError(error->text);
        return AfterOutput(ExitUsage);
    }
    return AfterOutput(Run(std::get<Arguments>(parsed)));
}
