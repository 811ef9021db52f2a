#include "cli_run.h"

#include "support/bounded_wait.h"
#include "support/test_files.h"

#include <QJsonDocument>
#include <QProcess>

namespace quorvex::testing {

QString CliProgram() {
    return qEnvironmentVariable("QUORVEX_BUILD_DIR") + QStringLiteral("/cli/quorvex-cli");
}

QByteArray FixtureBytes(const QString& name) {
    return ReadAll(Fixture(name));
}

CliRun Cli(const QStringList& args, int timeoutMs, bool runEvents) {
    QProcess p;
    p.start(CliProgram(), args);
    CliRun r;
    if (!p.waitForStarted(10000)) {
        r.err = p.errorString();
        return r;
    }
    const bool finished =
        runEvents ? WaitUntil([&] { return p.state() == QProcess::NotRunning; }, timeoutMs, 10)
                  : p.waitForFinished(timeoutMs);
    if (!finished) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

QList<QJsonObject> RecordLines(const QString& path, bool* whole) {
    const QByteArray bytes = ReadAll(path);
    if (whole)
        *whole = bytes.endsWith('\n');
    QList<QJsonObject> out;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

QJsonObject RecordOf(const QList<QJsonObject>& records, const QString& given) {
    for (const QJsonObject& r : records)
        if (r.value(QStringLiteral("port")).toString() == given ||
            r.value(QStringLiteral("target")).toString() == given)
            return r;
    return {};
}

} // namespace quorvex::testing
