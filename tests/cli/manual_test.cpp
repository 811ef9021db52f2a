// The manual pages and the programs' own --help name the same commands, options and exit
// statuses: one of them changed alone is a manual that lies.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace quorvex {
namespace {

using Words = QSet<QString>;

QString Help(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(qEnvironmentVariable("QUORVEX_BUILD_DIR") + program, args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The manual page as text: roff's "\-" is a plain hyphen.
QString Manual(const QString& name) {
    QFile f(QStringLiteral(QUORVEX_MANUALS "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

Words Matches(const QString& text, const QString& pattern) {
    Words out;
    const QRegularExpression re(pattern, QRegularExpression::MultilineOption);
    for (auto it = re.globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

Words Options(const QString& text) {
    return Matches(text, QStringLiteral("(--[a-z][a-z-]*)"));
}

// The text of one section (".SH NAME" or ".SS NAME"), up to the next of the same or higher.
QString Section(const QString& manual, const QString& heading) {
    const QRegularExpression start(QStringLiteral("^\\.(SH|SS) \"?") +
                                       QRegularExpression::escape(heading) + QStringLiteral("\\b"),
                                   QRegularExpression::MultilineOption);
    const auto m = start.match(manual);
    if (!m.hasMatch())
        return {};
    const QString level = m.captured(1);
    const QRegularExpression end(level == QLatin1String("SH") ? QStringLiteral("^\\.SH ")
                                                              : QStringLiteral("^\\.S[HS] "),
                                 QRegularExpression::MultilineOption);
    const auto e = end.match(manual, m.capturedEnd());
    return manual.mid(m.capturedEnd(), e.hasMatch() ? e.capturedStart() - m.capturedEnd() : -1);
}

// "Exit status: 0 success; 1 a unit ...;\n3 ..." up to the blank line after it.
Words HelpStatuses(const QString& help) {
    const qsizetype at = help.indexOf(QStringLiteral("Exit status:"));
    if (at < 0)
        return {};
    const QString paragraph = help.mid(at).section(QStringLiteral("\n\n"), 0, 0);
    return Matches(paragraph, QStringLiteral("(?:^|[:;]\\s*)([0-9]+) "));
}

Words ManualStatuses(const QString& manual) {
    return Matches(Section(manual, QStringLiteral("EXIT STATUS")),
                   QStringLiteral("^\\.B ([0-9]+)$"));
}

TEST(Manual, QuorvexCliPageAndHelpAgreeOnCommandsOptionsAndStatuses) {
    const QString manual = Manual(QStringLiteral("quorvex-cli.1"));
    ASSERT_FALSE(manual.isEmpty());
    const QString overview = Help(QStringLiteral("/cli/quorvex-cli"), {QStringLiteral("--help")});
    ASSERT_FALSE(overview.isEmpty());

    const Words commands = Matches(
        overview.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0),
        QStringLiteral("^  ([a-z]+) "));
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(
        Matches(Section(manual, QStringLiteral("COMMANDS")), QStringLiteral("^\\.SS \"?([a-z]+)")),
        commands);
    for (const QString& command : commands) {
        const QString help =
            Help(QStringLiteral("/cli/quorvex-cli"), {command, QStringLiteral("--help")});
        ASSERT_FALSE(help.isEmpty()) << command.toStdString();
        EXPECT_EQ(Options(Section(manual, command)), Options(help)) << command.toStdString();
    }
    EXPECT_EQ(Options(Section(manual, QStringLiteral("OPTIONS"))),
              Options(overview.section(QStringLiteral("Options:\n"), 1)));
    EXPECT_EQ(ManualStatuses(manual), HelpStatuses(overview));
    EXPECT_FALSE(ManualStatuses(manual).isEmpty());
}

TEST(Manual, QuorvexPageAndHelpAgreeOnOptionsAndStatuses) {
    const QString manual = Manual(QStringLiteral("quorvex.1"));
    ASSERT_FALSE(manual.isEmpty());
    const QString help = Help(QStringLiteral("/ui/quorvex"), {QStringLiteral("--help")});
    ASSERT_FALSE(help.isEmpty());
    EXPECT_EQ(Options(Section(manual, QStringLiteral("OPTIONS"))), Options(help));
    EXPECT_EQ(Options(Section(manual, QStringLiteral("SYNOPSIS"))), Options(help));
    EXPECT_EQ(ManualStatuses(manual), HelpStatuses(help));
    EXPECT_FALSE(ManualStatuses(manual).isEmpty());
}

} // namespace
} // namespace quorvex
