// quorvex-cli on a port this user may not open: the reason, and the group that may, as the
// device itself tells. Run as a user that the device's permissions apply to (the tests run as
// root, for whom they are no barrier).
#include "bootsim/pty.h"
#include "support/test_files.h"
#include "support/unprivileged.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

TEST(CliPortAccess, APortThisUserMayNotOpenGivesTheReasonAndTheGroupToJoin) {
    bootsim::PtyPair pty;
    QString why;
    ASSERT_TRUE(pty.open(&why)) << why.toStdString();
    const QByteArray device = QFile::encodeName(pty.slavePath());
    const quorvex::testing::UserIds user = quorvex::testing::UnprivilegedIds();
    // Owned by root and the serial ports' usual group when the tests may give it away; by the
    // user itself, with every bit cleared, otherwise.
    const group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout ? dialout->gr_gid : 0;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(device.constData(), 0, gid), 0);
    }
    ASSERT_EQ(::chmod(device.constData(), ::geteuid() == 0 ? 0660 : 0), 0);
    struct stat st {};
    ASSERT_EQ(::stat(device.constData(), &st), 0);
    const group* owners = ::getgrgid(st.st_gid);
    ASSERT_NE(owners, nullptr);
    const QString groupName = QString::fromLocal8Bit(owners->gr_name);

    // The program and the package where the user can reach them, whatever the checkout's
    // folders allow.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString cli = dir.filePath("quorvex-cli");
    const QString package = dir.filePath("revector16.dff");
    ASSERT_TRUE(QFile::copy(qEnvironmentVariable("QUORVEX_BUILD_DIR") + "/cli/quorvex-cli", cli));
    ASSERT_TRUE(QFile::copy(quorvex::testing::Fixture("revector16.dff"), package));
    ASSERT_TRUE(QFile::setPermissions(package, QFile::ReadOwner | QFile::ReadGroup |
                                                   QFile::ReadOther | QFile::WriteOwner));

    QProcess p;
    p.setChildProcessModifier([user] {
        if (!quorvex::testing::DropTo(user))
            ::_exit(126);
    });
    p.setWorkingDirectory(dir.path());
    // In the sanitizer build: the leak checker's suppressions lie in the checkout, which this
    // user may not be able to read, and the leak checker would fail on that; quorvex-cli's
    // leaks are checked by the tests that run it as it is.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    p.setProcessEnvironment(env);
    p.start(cli, {"flash", package, "--port", pty.slavePath(), "--wait", "1"});
    ASSERT_TRUE(p.waitForStarted(10000)) << p.errorString().toStdString();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        FAIL() << "quorvex-cli did not end";
    }
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    ASSERT_EQ(p.exitCode(), 1) << out.toStdString() << err.toStdString();

    const QString userName = QString::fromLocal8Bit(::getpwuid(user.uid)->pw_name);
    const QString slave = pty.slavePath();
    EXPECT_TRUE(out.contains(QStringLiteral("Permission denied: user %1 may not read and write %2")
                                 .arg(userName, slave)))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" %1)").arg(groupName))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("sudo usermod -aG %1 %2").arg(groupName, userName)))
        << out.toStdString();
    // The advice's second line is a line of its own, under the port, not an escape.
    EXPECT_TRUE(out.contains(QStringLiteral(").\n%1: To use it, join").arg(slave)))
        << out.toStdString();
    EXPECT_FALSE(out.contains("may be in use")) << out.toStdString();
    // The record names the device and the reason.
    EXPECT_TRUE(err.contains(QStringLiteral("Permission denied: %1: user %2 may not read and "
                                            "write it")
                                 .arg(slave, userName)))
        << err.toStdString();
}

} // namespace
} // namespace quorvex
