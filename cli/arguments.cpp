#include "cli/arguments.h"
#include "base/identity.h"

#include "cli/console.h"

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
        } else if (name == QLatin1String("--jobs") && allowed({Command::Flash, Command::Upload})) {
            const auto v = value();
            if (!v)
                return missing();
            bool ok = false;
            const int jobs = v->toInt(&ok);
            if (!ok || jobs < 1 || jobs > MaxJobs)
                return Refuse(a.command,
                              QStringLiteral("option '--jobs' takes a number from 1 to %1, not "
                                             "'%2'")
                                  .arg(MaxJobs)
                                  .arg(*v));
            a.jobs = jobs;
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

QString VersionText() {
    return QStringLiteral("quorvex-cli ") + ProgramVersionText();
}

} // namespace quorvex::cli
