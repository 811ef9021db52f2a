#include "cli/arguments.h"
#include "base/identity.h"

#include "cli/console.h"
#include "net/tftp_client.h"

#include <array>

namespace quorvex::cli {

namespace {

struct CommandName {
    const char* word;
    Command command;
};

constexpr std::array<CommandName, 5> Commands{{{"info", Command::Info},
                                               {"pack", Command::Pack},
                                               {"ports", Command::Ports},
                                               {"flash", Command::Flash},
                                               {"upload", Command::Upload}}};

std::optional<Command> CommandOf(const QString& word) {
    for (const auto& c : Commands)
        if (word == QLatin1String(c.word))
            return c.command;
    return std::nullopt;
}

QString WordOf(Command command) {
    for (const auto& c : Commands)
        if (c.command == command)
            return QLatin1String(c.word);
    return QStringLiteral("help");
}

UsageError Refuse(Command command, const QString& text) {
    return {QStringLiteral("quorvex-cli %1: %2\nTry 'quorvex-cli %1 --help'.")
                .arg(WordOf(command), Visible(text))};
}

// "--port=/dev/ttyUSB0" and "--port /dev/ttyUSB0" both give the value.
class Reader {
  public:
    explicit Reader(const QStringList& args) : args_(args) {}
    bool atEnd() const { return at_ >= args_.size(); }
    QString next() { return args_.at(at_++); }
    std::optional<QString> valueOf(const QString& inline_) {
        if (!inline_.isNull())
            return inline_;
        if (atEnd())
            return std::nullopt;
        return next();
    }

  private:
    QStringList args_; // a copy: the caller passes a temporary
    qsizetype at_ = 0;
};

} // namespace

std::variant<Arguments, UsageError> ParseArguments(const QStringList& args) {
    Arguments a;
    if (args.isEmpty())
        return a;
    const QString first = args.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        if (args.size() > 1)
            a.helpFor = CommandOf(args.at(1));
        return a;
    }
    if (first == QLatin1String("--version")) {
        if (args.size() > 1)
            return UsageError{QStringLiteral("quorvex-cli: unexpected argument '%1' after "
                                             "'--version'\nTry 'quorvex-cli --help'.")
                                  .arg(args.at(1))};
        a.command = Command::Version;
        return a;
    }
    const auto command = CommandOf(first);
    if (!command)
        return UsageError{QStringLiteral("quorvex-cli: unknown command '%1'\nTry 'quorvex-cli "
                                         "--help'.")
                              .arg(Visible(first))};
    a.command = *command;

    Reader r(args.mid(1));
    QStringList operands;
    bool optionsEnded = false;
    while (!r.atEnd()) {
        const QString arg = r.next();
        if (optionsEnded || !arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-")) {
            if (arg == QLatin1String("-h")) {
                a.helpFor = a.command;
                a.command = Command::Help;
                return a;
            }
            operands << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        const QString inlineValue = eq < 0 ? QString() : arg.mid(eq + 1);
        const auto value = [&]() -> std::optional<QString> { return r.valueOf(inlineValue); };
        const auto missing = [&] {
            return Refuse(a.command, QStringLiteral("option '%1' needs a value").arg(name));
        };
        const auto allowed = [&](std::initializer_list<Command> in) {
            for (Command c : in)
                if (c == a.command)
                    return true;
            return false;
        };

        if (name == QLatin1String("--help")) {
            a.helpFor = a.command;
            a.command = Command::Help;
            return a;
        }
        if (name == QLatin1String("--json") &&
            allowed({Command::Info, Command::Ports, Command::Flash, Command::Upload}) && eq < 0) {
            a.json = true;
        } else if (name == QLatin1String("--record") &&
                   allowed({Command::Flash, Command::Upload})) {
            const auto v = value();
            if (!v || v->isEmpty())
                return missing();
            a.recordPath = *v;
        } else if (name == QLatin1String("--product") && allowed({Command::Pack})) {
            const auto v = value();
            if (!v)
                return missing();
            a.product = *v;
        } else if (name == QLatin1String("--chip") && allowed({Command::Pack})) {
            const auto v = value();
            if (!v)
                return missing();
            a.chip = *v;
        } else if (name == QLatin1String("--version") && allowed({Command::Pack})) {
            const auto v = value();
            if (!v)
                return missing();
            a.version = *v;
        } else if (name == QLatin1String("--port") && allowed({Command::Flash})) {
            const auto v = value();
            if (!v || v->isEmpty())
                return missing();
            a.ports << *v;
        } else if (name == QLatin1String("--devices") &&
                   allowed({Command::Ports, Command::Flash})) {
            const auto v = value();
            if (!v || v->isEmpty())
                return missing();
            a.deviceFolder = *v;
        } else if (name == QLatin1String("--wait") && allowed({Command::Flash})) {
            const auto v = value();
            if (!v)
                return missing();
            bool ok = false;
            const double seconds = v->toDouble(&ok);
            if (!ok || seconds < 0 || seconds > 3600)
                return Refuse(a.command,
                              QStringLiteral("option '--wait' takes seconds from 0 to 3600, not "
                                             "'%1'")
                                  .arg(*v));
            a.waitSeconds = seconds;
        } else if (name == QLatin1String("--target") && allowed({Command::Upload})) {
            const auto v = value();
            if (!v || v->isEmpty())
                return missing();
            a.targets << *v;
        } else if (name == QLatin1String("--tftp-port") && allowed({Command::Upload})) {
            const auto v = value();
            if (!v)
                return missing();
            bool ok = false;
            const int port = v->toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                return Refuse(a.command,
                              QStringLiteral("option '--tftp-port' takes a port from 1 to 65535, "
                                             "not '%1'")
                                  .arg(*v));
            a.tftpPort = port;
        } else {
            return Refuse(a.command, QStringLiteral("unknown option '%1'").arg(arg));
        }
    }

    switch (a.command) {
    case Command::Info:
        if (operands.isEmpty())
            return Refuse(a.command, QStringLiteral("no PACKAGE given"));
        a.packages = operands;
        break;
    case Command::Pack:
        if (a.product.isEmpty())
            return Refuse(a.command, QStringLiteral("option '--product' is required"));
        if (a.chip.isEmpty())
            return Refuse(a.command, QStringLiteral("option '--chip' is required"));
        if (a.version.isEmpty())
            return Refuse(a.command, QStringLiteral("option '--version' is required"));
        if (operands.size() != 2)
            return Refuse(a.command,
                          operands.size() < 2
                              ? QStringLiteral("INPUT and OUTPUT are required")
                              : QStringLiteral("unexpected argument '%1'").arg(operands.at(2)));
        a.input = operands.at(0);
        a.output = operands.at(1);
        break;
    case Command::Ports:
        if (!operands.isEmpty())
            return Refuse(a.command,
                          QStringLiteral("unexpected argument '%1'").arg(operands.first()));
        break;
    case Command::Flash:
    case Command::Upload: {
        if (operands.size() != 1)
            return Refuse(a.command,
                          operands.isEmpty()
                              ? QStringLiteral("no PACKAGE given")
                              : QStringLiteral("unexpected argument '%1'").arg(operands.at(1)));
        a.packages = operands;
        const bool flash = a.command == Command::Flash;
        if ((flash ? a.ports : a.targets).isEmpty())
            return Refuse(a.command, flash ? QStringLiteral("at least one '--port' is required")
                                           : QStringLiteral("at least one '--target' is "
                                                            "required"));
        break;
    }
    case Command::Help:
    case Command::Version:
        break;
    }
    return a;
}

QString HelpText(std::optional<Command> command) {
    if (!command)
        return QStringLiteral(
            "Usage: quorvex-cli COMMAND [OPTIONS] ...\n"
            "\n"
            "Firmware packages (.dff) for Tolvane units, without the window.\n"
            "\n"
            "Commands:\n"
            "  info     show what packages hold and whether they are valid\n"
            "  pack     build a package from a firmware file (what maker mode builds)\n"
            "  ports    list the serial ports and the adapters behind them\n"
            "  flash    flash serial units, several at once\n"
            "  upload   upload to network units by TFTP\n"
            "\n"
            "'quorvex-cli COMMAND --help' tells more of each.\n"
            "\n"
            "Options:\n"
            "  --help      show this help, or with a COMMAND that command's\n"
            "  --version   print the program's name and version\n"
            "\n"
            "Exit status: 0 success; 1 a unit or a build failed; 2 bad arguments;\n"
            "3 a package could not be read; 4 a package's key does not fit;\n"
            "5 a package's firmware is damaged or refused; 6 output could not be written\n"
            "(a closed pipe, a full disk; in place of 0 or 1); 129 a flash or upload\n"
            "stopped by SIGHUP; 130 stopped by Ctrl-C; 143 stopped by SIGTERM.\n"
            "\n"
            "Example:\n"
            "  quorvex-cli info 'torv5 v1.4.12.dff'\n");
    switch (*command) {
    case Command::Info:
        return QStringLiteral(
            "Usage: quorvex-cli info [--json] PACKAGE...\n"
            "\n"
            "For each package: product code and name, chip, version, which key opens it,\n"
            "and what it holds: for a serial unit the flash blocks to send, EEPROM bytes,\n"
            "configuration words and highest address; for a network unit the image size\n"
            "and its TFTP blocks. The decoded firmware is never left on disk.\n"
            "\n"
            "  --json   print the same as JSON\n"
            "\n"
            "Exit status: 0 when every package is valid, else the status of the first\n"
            "that is not (3 unreadable, 4 key does not fit, 5 damaged or refused); 6\n"
            "when they are all valid but the result could not be written.\n"
            "\n"
            "Example:\n"
            "  quorvex-cli info --json 'torv5 v1.4.12.dff' 'nyx2 v2.10.3.dff'\n");
    case Command::Pack:
        return QStringLiteral(
            "Usage: quorvex-cli pack --product CODE --chip ID --version A.B.C INPUT OUTPUT\n"
            "\n"
            "Packs INPUT (Intel HEX for a serial unit, a raw image for a network unit)\n"
            "into the package OUTPUT, as maker mode does. OUTPUT is replaced only by a\n"
            "complete package: a build that fails or is interrupted leaves OUTPUT as it\n"
            "was and nothing beside it.\n"
            "\n"
            "  --product CODE   a product code of the catalogue (TORV5, NYX2, ...)\n"
            "  --chip ID        the chip id (8 is the Ethernet chip) or its model name\n"
            "  --version A.B.C  each part a whole number from 0 to 255\n"
            "\n"
            "Example:\n"
            "  quorvex-cli pack --product TORV5 --chip 0 --version 1.4.12 main.hex "
            "'main v1.4.12.dff'\n");
    case Command::Ports:
        return QStringLiteral(
            "Usage: quorvex-cli ports [--json] [--devices DIR]\n"
            "\n"
            "Lists the serial ports that open now as the window lists them (\"Com n\"),\n"
            "the device behind each, and what the system says the adapter is.\n"
            "\n"
            "  --json          print the same as JSON\n"
            "  --devices DIR   number the devices found in DIR instead of the system's\n"
            "                  folder (/dev), for example a folder of links to test units\n"
            "\n"
            "Example:\n"
            "  quorvex-cli ports\n");
    case Command::Flash:
        return QStringLiteral(
            "Usage: quorvex-cli flash PACKAGE --port P [--port P ...] [--wait SECONDS]\n"
            "                         [--devices DIR] [--record FILE] [--json]\n"
            "\n"
            "Flashes the unit on each port, all at once, each with the window's protocol:\n"
            "hellos while the unit is reset, its identification checked against the\n"
            "package, the flash blocks, then the EEPROM bytes. One failing unit never\n"
            "stops the others. A summary table follows.\n"
            "\n"
            "  --port P        a device (/dev/ttyUSB0, or a link to one) or \"Com n\"/COMn\n"
            "                  as the window and 'quorvex-cli ports' list it\n"
            "  --wait SECONDS  how long to call each unit (default 10, as the window's\n"
            "                  countdown): one hello per second, at least one\n"
            "  --devices DIR   look \"Com n\" up in DIR instead of the system's folder\n"
            "  --record FILE   append one JSON line per unit to FILE as the unit ends\n"
            "  --json          print the units' records as one JSON document instead of\n"
            "                  the table; the lines for people go to standard error\n"
            "\n"
            "Ctrl-C, SIGTERM or SIGHUP stops every unit at its next frame, closes its port\n"
            "and says how far each got; the table and the records are still written. A\n"
            "second Ctrl-C ends at once. Output that cannot be written ends nothing.\n"
            "\n"
            "Exit status: 0 only when every unit was flashed and recorded; 1 otherwise;\n"
            "3, 4 or 5 when the package does not load (as for 'info'); 6 when output\n"
            "could not be written; 129, 130, 143 after SIGHUP, Ctrl-C, SIGTERM.\n"
            "\n"
            "Example:\n"
            "  quorvex-cli flash 'torv5 v1.4.12.dff' --port /dev/ttyUSB0 --port /dev/ttyUSB1\n");
    case Command::Upload:
        return QStringLiteral(
                   "Usage: quorvex-cli upload PACKAGE --target IP [--target IP ...] [--tftp-port "
                   "N]\n"
                   "                          [--record FILE] [--json]\n"
                   "\n"
                   "Uploads a network package to each target in turn, as the window does: two\n"
                   "reboot datagrams, the write request, then the blocks. Broadcast and\n"
                   "multicast addresses are refused.\n"
                   "\n"
                   "An upload ends once the unit has the whole image, on its error packet, after\n"
                   "7 seconds without an answer, or when no block has been acknowledged for %1\n"
                   "seconds however much else the unit sends; its line and its row say which.\n"
                   "\n"
                   "  --target IP      the unit's IPv4 address\n"
                   "  --tftp-port N    the units' TFTP port (default 69)\n"
                   "  --record FILE    append one JSON line per target to FILE as it ends\n"
                   "  --json           print the targets' records as one JSON document instead\n"
                   "                   of the table; the lines for people go to standard error\n"
                   "\n"
                   "Ctrl-C, SIGTERM or SIGHUP stops the upload under way before its next block;\n"
                   "the targets after it are not started. The table and the records are still\n"
                   "written. A second Ctrl-C ends at once.\n"
                   "\n"
                   "Exit status: 0 only when every upload finished and was recorded; 1\n"
                   "otherwise; 3, 4 or 5 when the package does not load (as for 'info'); 6\n"
                   "when output could not be written; 129, 130, 143 after SIGHUP, Ctrl-C,\n"
                   "SIGTERM.\n"
                   "\n"
                   "Example:\n"
                   "  quorvex-cli upload 'nyx2 v2.10.3.dff' --target 192.168.0.200\n")
            .arg(TftpClient::StallMs / 1000);
    case Command::Help:
    case Command::Version:
        break;
    }
    return HelpText(std::nullopt);
}

QString VersionText() {
    return QStringLiteral("quorvex-cli ") + ProgramVersionText();
}

} // namespace quorvex::cli
