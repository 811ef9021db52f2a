#include "cli/arguments.h"
#include "base/identity.h"

#include "cli/console.h"

#include <array>
#include <variant>

namespace quorvex::cli {

namespace {

constexpr std::array<CommandEntry, 5> Commands{{
    {"info", Command::Info, "show what packages hold and whether they are valid"},
    {"pack", Command::Pack, "build a package from a firmware file (what maker mode builds)"},
    {"ports", Command::Ports, "list the serial ports and the adapters behind them"},
    {"flash", Command::Flash, "flash serial units, several at once"},
    {"upload", Command::Upload, "upload to network units by TFTP"},
}};

std::optional<Command> CommandOf(const QString& word) {
    for (const auto& c : Commands)
        if (word == QLatin1String(c.word))
            return c.command;
    return std::nullopt;
}

UsageError Refuse(Command command, const QString& text) {
    return {UsageText(command, text)};
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

constexpr unsigned Of(std::initializer_list<Command> commands) {
    unsigned mask = 0;
    for (Command c : commands)
        mask |= 1u << unsigned(c);
    return mask;
}

enum class Takes {
    Nothing,  // a flag: "--json=1" is no option at all
    Any,      // a value, which may be empty
    NonEmpty, // a value that names something
};

// A whole number from `low` to `high`; the refusal names it as `noun` ("a port").
struct Whole {
    int Arguments::*field;
    int low;
    int high;
    const char* noun;
};

// Seconds from 0 to an hour.
struct Seconds {
    std::optional<double> Arguments::*field;
};

// Where an option's value goes: a flag is set, a text kept (the last given), a list added to.
using Field =
    std::variant<bool Arguments::*, QString Arguments::*, QStringList Arguments::*, Whole, Seconds>;

struct Option {
    const char* name;
    unsigned commands;
    Takes takes;
    Field field;
};

const std::array<Option, 11> Options{{
    {"--json", Of({Command::Info, Command::Ports, Command::Flash, Command::Upload}), Takes::Nothing,
     &Arguments::json},
    {"--record", Of({Command::Flash, Command::Upload}), Takes::NonEmpty, &Arguments::recordPath},
    {"--product", Of({Command::Pack}), Takes::Any, &Arguments::product},
    {"--chip", Of({Command::Pack}), Takes::Any, &Arguments::chip},
    {"--version", Of({Command::Pack}), Takes::Any, &Arguments::version},
    {"--port", Of({Command::Flash}), Takes::NonEmpty, &Arguments::ports},
    {"--devices", Of({Command::Ports, Command::Flash}), Takes::NonEmpty, &Arguments::deviceFolder},
    {"--wait", Of({Command::Flash}), Takes::Any, Seconds{&Arguments::waitSeconds}},
    {"--jobs", Of({Command::Flash, Command::Upload}), Takes::Any,
     Whole{&Arguments::jobs, 1, MaxJobs, "a number"}},
    {"--target", Of({Command::Upload}), Takes::NonEmpty, &Arguments::targets},
    {"--tftp-port", Of({Command::Upload}), Takes::Any,
     Whole{&Arguments::tftpPort, 1, 65535, "a port"}},
}};

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// Puts `value` where `option` keeps it; the refusal's text when it does not read.
std::optional<QString> Put(const Option& option, const QString& value, Arguments& a) {
    const auto notRead = [&](const QString& takes) -> std::optional<QString> {
        return QStringLiteral("option '%1' takes %2, not '%3'")
            .arg(QLatin1String(option.name), takes, value);
    };
    return std::visit(Overloaded{
                          [&](bool Arguments::*flag) -> std::optional<QString> {
                              a.*flag = true;
                              return std::nullopt;
                          },
                          [&](QString Arguments::*text) -> std::optional<QString> {
                              a.*text = value;
                              return std::nullopt;
                          },
                          [&](QStringList Arguments::*list) -> std::optional<QString> {
                              (a.*list) << value;
                              return std::nullopt;
                          },
                          [&](const Whole& w) -> std::optional<QString> {
                              bool ok = false;
                              const int n = value.toInt(&ok);
                              if (!ok || n < w.low || n > w.high)
                                  return notRead(QStringLiteral("%1 from %2 to %3")
                                                     .arg(QLatin1String(w.noun))
                                                     .arg(w.low)
                                                     .arg(w.high));
                              a.*w.field = n;
                              return std::nullopt;
                          },
                          [&](const Seconds& s) -> std::optional<QString> {
                              bool ok = false;
                              const double seconds = value.toDouble(&ok);
                              if (!ok || seconds < 0 || seconds > 3600)
                                  return notRead(QStringLiteral("seconds from 0 to 3600"));
                              a.*s.field = seconds;
                              return std::nullopt;
                          },
                      },
                      option.field);
}

// The option `name` as `command` takes it; none when that command has no such option.
const Option* OptionOf(const QString& name, Command command) {
    for (const Option& o : Options)
        if (name == QLatin1String(o.name) && (o.commands & Of({command})) != 0)
            return &o;
    return nullptr;
}

} // namespace

std::span<const CommandEntry> CommandTable() {
    return Commands;
}

QString CommandWord(Command command) {
    for (const auto& c : Commands)
        if (c.command == command)
            return QLatin1String(c.word);
    return QStringLiteral("help");
}

QString UsageText(std::optional<Command> command, const QString& text) {
    if (!command)
        return QStringLiteral("quorvex-cli: %1\nTry 'quorvex-cli --help'.").arg(Visible(text));
    return QStringLiteral("quorvex-cli %1: %2\nTry 'quorvex-cli %1 --help'.")
        .arg(CommandWord(*command), Visible(text));
}

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
            return UsageError{UsageText(
                std::nullopt,
                QStringLiteral("unexpected argument '%1' after '--version'").arg(args.at(1)))};
        a.command = Command::Version;
        return a;
    }
    const auto command = CommandOf(first);
    if (!command)
        return UsageError{
            UsageText(std::nullopt, QStringLiteral("unknown command '%1'").arg(first))};
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
        if (name == QLatin1String("--help")) {
            a.helpFor = a.command;
            a.command = Command::Help;
            return a;
        }
        const Option* option = OptionOf(name, a.command);
        if (!option || (option->takes == Takes::Nothing && eq >= 0))
            return Refuse(a.command, QStringLiteral("unknown option '%1'").arg(arg));
        QString value;
        if (option->takes != Takes::Nothing) {
            const auto given = r.valueOf(eq < 0 ? QString() : arg.mid(eq + 1));
            if (!given || (option->takes == Takes::NonEmpty && given->isEmpty()))
                return Refuse(a.command, QStringLiteral("option '%1' needs a value").arg(name));
            value = *given;
        }
        if (const auto refusal = Put(*option, value, a))
            return Refuse(a.command, *refusal);
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
