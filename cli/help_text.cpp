// The help texts of quorvex-cli: the overview and one per command.
#include "cli/arguments.h"
#include "net/tftp_client.h"

namespace quorvex::cli {

QString HelpText(std::optional<Command> command) {
    if (!command) {
        QString commands;
        for (const CommandEntry& c : CommandTable())
            commands += QStringLiteral("  ") + QString::fromLatin1(c.word).leftJustified(9) +
                        QLatin1String(c.summary) + QLatin1Char('\n');
        return QStringLiteral("Usage: quorvex-cli COMMAND [OPTIONS] ...\n"
                              "\n"
                              "Firmware packages (.dff) for Tolvane units, without the window.\n"
                              "\n"
                              "Commands:\n") +
               commands +
               QStringLiteral(
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
    }
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
            "                         [--devices DIR] [--jobs N] [--record FILE] [--json]\n"
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
            "  --jobs N        flash at most N units at once (default: all), the next\n"
            "                  starting as one ends: for a station with few cores or\n"
            "                  one USB hub\n"
            "  --record FILE   append one JSON line per unit to FILE as the unit ends\n"
            "  --json          print the units' records as one JSON document instead of\n"
            "                  the table; the lines for people go to standard error\n"
            "\n"
            "Ctrl-C, SIGTERM or SIGHUP stops every unit at its next frame, closes its port\n"
            "and says how far each got (units that --jobs kept waiting are not started);\n"
            "the table and the records are still written. A second Ctrl-C ends at once.\n"
            "Output that cannot be written ends nothing.\n"
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
                   "                          [--jobs N] [--record FILE] [--json]\n"
                   "\n"
                   "Uploads a network package to every target at once, each as the window does:\n"
                   "two reboot datagrams, the write request, then the blocks. Broadcast and\n"
                   "multicast addresses are refused, and so is a unit named twice (also as a\n"
                   "name and its address): two uploads at once would corrupt its image.\n"
                   "\n"
                   "An upload ends once the unit has the whole image, on its error packet, after\n"
                   "7 seconds without an answer, or when no block has been acknowledged for %1\n"
                   "seconds however much else the unit sends; its line and its row say which.\n"
                   "\n"
                   "  --target IP      the unit's IPv4 address\n"
                   "  --tftp-port N    the units' TFTP port (default 69)\n"
                   "  --jobs N         upload to at most N targets at once (default: all), the\n"
                   "                   next starting as one ends: for a slow link or switch\n"
                   "  --record FILE    append one JSON line per target to FILE as it ends\n"
                   "  --json           print the targets' records as one JSON document instead\n"
                   "                   of the table; the lines for people go to standard error\n"
                   "\n"
                   "Ctrl-C, SIGTERM or SIGHUP stops every upload under way before its next\n"
                   "block; targets that --jobs kept waiting are not started. The table and the\n"
                   "records are still written. A second Ctrl-C ends at once.\n"
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

} // namespace quorvex::cli
