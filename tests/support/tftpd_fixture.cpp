#include "support/tftpd_fixture.h"

#include "support/bounded_wait.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QUdpSocket>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvex::testing {

namespace {
// A port nobody holds right now on `address`, from the ephemeral range.
quint16 FreeUdpPort(const QHostAddress& address) {
    QUdpSocket probe;
    if (!probe.bind(address, 0, QAbstractSocket::DontShareAddress))
        return 0;
    return probe.localPort();
}

bool PortTaken(const QHostAddress& address, quint16 port) {
    QUdpSocket probe;
    return !probe.bind(address, port, QAbstractSocket::DontShareAddress);
}

// The server drops to the tftp user, which must own the root to create files in it.
QString GiveRootToTftpUser(const QString& path) {
#ifdef Q_OS_UNIX
    const passwd* user = getpwnam("tftp");
    if (!user)
        return QStringLiteral("there is no tftp user");
    const QByteArray p = QFile::encodeName(path);
    if (chown(p.constData(), user->pw_uid, user->pw_gid) != 0 || chmod(p.constData(), 0755) != 0)
        return QStringLiteral("cannot give %1 to the tftp user").arg(path);
    return {};
#else
    Q_UNUSED(path);
    return QStringLiteral("tftpd-hpa runs on Unix only");
#endif
}
} // namespace

bool TftpdServer::Installed() {
    return QFileInfo(QString::fromLatin1(Program)).isExecutable();
}

TftpdServer::~TftpdServer() {
    stop();
}

QString TftpdServer::start(const QString& address, quint16 port) {
    // Loopback only: the tests send nothing beyond this machine.
    if (!address_.setAddress(address) || !address_.isLoopback())
        return QStringLiteral("%1 is not a loopback address").arg(address);
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid())
        return QStringLiteral("cannot make a temporary root");
    if (const QString why = GiveRootToTftpUser(dir_->path()); !why.isEmpty())
        return why;
    // The free port is only free when it was probed: another process may take it before the
    // server binds it, and the server then ends at once. A few tries with a new port each.
    QString why;
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = port != 0 ? port : FreeUdpPort(address_);
        if (port_ == 0)
            return QStringLiteral("no free UDP port");
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QString::fromLatin1(Program),
                       {QStringLiteral("--foreground"), QStringLiteral("--address"),
                        QStringLiteral("%1:%2").arg(address_.toString()).arg(port_),
                        QStringLiteral("--create"), QStringLiteral("--secure"),
                        QStringLiteral("--user"), QStringLiteral("tftp"), dir_->path()});
        if (!process_.waitForStarted(3000))
            return QStringLiteral("in.tftpd did not start: %1").arg(process_.errorString());
        const bool listening = WaitUntil(
            [this] { return process_.state() != QProcess::Running || PortTaken(address_, port_); },
            3000);
        if (listening && process_.state() == QProcess::Running)
            return {};
        why = QStringLiteral("in.tftpd is not listening on port %1: %2")
                  .arg(port_)
                  .arg(QString::fromLocal8Bit(process_.readAll()));
        process_.kill();
        process_.waitForFinished(3000);
    }
    return why;
}

void TftpdServer::kill() {
#ifdef Q_OS_UNIX
    const qint64 pid = process_.processId();
    if (pid <= 0)
        return;
    // Each transfer runs in a child of the server; the children first, so none is left behind.
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly))
        for (const QByteArray& child : children.readAll().simplified().split(' '))
            if (child.toLongLong() > 0)
                ::kill(pid_t(child.toLongLong()), SIGKILL);
    process_.kill();
    process_.waitForFinished(3000);
#endif
}

void TftpdServer::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    dir_.reset();
}

} // namespace quorvex::testing
