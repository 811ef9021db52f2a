#pragma once
// The command line of quorvex-cli: a command word, then options and operands. Parsing is
// strict: an unknown option, a missing value or a value that does not read is refused with a
// text that names the argument, and the program exits with status 2.
#include "flow/upload.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <variant>

namespace quorvex::cli {

enum class Command { Help, Version, Info, Pack, Ports, Flash, Upload };

struct Arguments {
    Command command = Command::Help;
    // The command whose help is asked for ("quorvex-cli flash --help"); none for the overview.
    std::optional<Command> helpFor;
    bool json = false;
    QStringList packages; // info: one or more; flash, upload: exactly one
    // pack
    QString product;
    QString chip;
    QString version;
    QString input;
    QString output;
    // ports, flash: where the numbered devices are looked up (the system's folder when empty)
    QString deviceFolder;
    // flash, upload: the record file that a line per unit is appended to; none when empty
    QString recordPath;
    // flash, upload: how many units are worked at once; 0 for all of them
    int jobs = 0;
    // flash
    QStringList ports;
    std::optional<double> waitSeconds;
    // upload
    QStringList targets;
    int tftpPort = tftp::DefaultServerPort;
};

// The most --jobs takes: far beyond the units one station holds.
inline constexpr int MaxJobs = 1024;

struct UsageError {
    QString text;
};

std::variant<Arguments, UsageError> ParseArguments(const QStringList& args);

// A command as the command line names it, and the line the overview gives it.
struct CommandEntry {
    const char* word;
    Command command;
    const char* summary;
};
// The five commands, in the order the overview lists them.
std::span<const CommandEntry> CommandTable();

// The word that names `command` on the command line ("flash"); "help" for the others.
QString CommandWord(Command command);

// A refusal of the command line: "quorvex-cli flash: TEXT" and the hint to the command's help,
// or without a command to the overview. `text` may quote what was typed: it is shown escaped.
QString UsageText(std::optional<Command> command, const QString& text);

// The help text of one command, or the overview; each ends with an example. In a file of its
// own.
QString HelpText(std::optional<Command> command);

// "quorvex-cli 1.1.0"
QString VersionText();

} // namespace quorvex::cli
