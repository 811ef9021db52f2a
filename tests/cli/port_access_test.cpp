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

struct CliRun {
    QString out;
    QString err;
    int status = -1;
};

// Runs quorvex-cli flash as the unprivileged user on `device`, a port it may not open.
CliRun FlashAsUser(const QString& device, const quorvex::testing::UserIds& user) {
    CliRun run;
    // The program and the package where the user can reach them, whatever the checkout's
    // folders allow.
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    EXPECT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString cli = dir.filePath("quorvex-cli");
    const QString package = dir.filePath("revector16.dff");
    EXPECT_TRUE(QFile::copy(qEnvironmentVariable("QUORVEX_BUILD_DIR") + "/cli/quorvex-cli", cli));
    EXPECT_TRUE(QFile::copy(quorvex::testing::Fixture("revector16.dff"), package));
    EXPECT_TRUE(QFile::setPermissions(package, QFile::ReadOwner | QFile::ReadGroup |
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
    p.start(cli, {"flash", package, "--port", device, "--wait", "1"});
    if (!p.waitForStarted(10000)) {
        ADD_FAILURE() << p.errorString().toStdString();
        return run;
    }
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        ADD_FAILURE() << "quorvex-cli did not end";
        return run;
    }
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    run.status = p.exitCode();
    return run;
}

TEST(CliPortAccess, APortThisUserMayNotOpenGivesTheReasonAndTheGroupToJoin) {
    bootsim::PtyPair pty;
    QString why;
    ASSERT_TRUE(pty.open(&why)) << why.toStdString();
    const QByteArray device = QFile::encodeName(pty.slavePath());
    const quorvex::testing::UserIds user = quorvex::testing::UnprivilegedIds();
    // Owned by root and the serial ports' usual group when the tests may give it away; by the
    // user itself, with only the group's bits set, otherwise.
    const group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout ? dialout->gr_gid : 0;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(device.constData(), 0, gid), 0);
    }
    ASSERT_EQ(::chmod(device.constData(), ::geteuid() == 0 ? 0660 : 0060), 0);
    struct stat st {};
    ASSERT_EQ(::stat(device.constData(), &st), 0);
    const group* owners = ::getgrgid(st.st_gid);
    ASSERT_NE(owners, nullptr);
    const QString groupName = QString::fromLocal8Bit(owners->gr_name);

    const CliRun run = FlashAsUser(pty.slavePath(), user);
    const QString& out = run.out;
    const QString& err = run.err;
    ASSERT_EQ(run.status, 1) << out.toStdString() << err.toStdString();

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

// A device only root may open (a pseudo-terminal of root's, or a port whose group is root) is
// no group to join: the advice sends the user to an administrator.
TEST(CliPortAccess, APortOwnedByRootSendsTheUserToAnAdministratorNotIntoRootsGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a device to root needs root";
    bootsim::PtyPair pty;
    QString why;
    ASSERT_TRUE(pty.open(&why)) << why.toStdString();
    const QByteArray device = QFile::encodeName(pty.slavePath());
    ASSERT_EQ(::chown(device.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(device.constData(), 0660), 0);
    const quorvex::testing::UserIds user = quorvex::testing::UnprivilegedIds();

    const CliRun run = FlashAsUser(pty.slavePath(), user);
    ASSERT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
    const QString userName = QString::fromLocal8Bit(::getpwuid(user.uid)->pw_name);
    EXPECT_TRUE(run.out.contains(QStringLiteral("(crw-rw---- root root).\n%1: To use it, an "
                                                "administrator must give user %2 access to it")
                                     .arg(pty.slavePath(), userName)))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("usermod")) << run.out.toStdString();
}

} // namespace
} // namespace quorvex
