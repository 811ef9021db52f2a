#include "serial/port_naming.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvex {

#ifdef Q_OS_WIN

QString DefaultDeviceFolder() {
    return {};
}

QString PortDeviceName(int number, const QString&) {
    return number >= 1 ? QStringLiteral("COM%1").arg(number) : QString();
}

std::optional<AccessRefusal> AccessRefusalOf(const QString&) {
    return std::nullopt;
}

#else

QString DefaultDeviceFolder() {
    return QStringLiteral("/dev");
}

namespace {

// USB adapters first: on a bench PC they are the ports a technician plugs units into, while
// the on-board ttyS ports are often absent, or the system console.
const char* const DeviceGroups[] = {"ttyUSB", "ttyACM", "ttyS"};

struct Node {
    int group;
    qulonglong index;
    QString name;
};

} // namespace

QString PortDeviceName(int number, const QString& folder) {
    if (number < 1)
        return {};
    const QDir dir(folder);
    // System lists device nodes and symlinks to them (also dangling ones, which then fail to
    // open like any missing port).
    const QStringList entries =
        dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    static const QRegularExpression pattern(QStringLiteral("^(ttyUSB|ttyACM|ttyS)([0-9]+)$"));
    std::vector<Node> nodes;
    for (const QString& name : entries) {
        const auto m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const QString prefix = m.captured(1);
        const int group =
            int(std::find_if(std::begin(DeviceGroups), std::end(DeviceGroups),
                             [&](const char* g) { return prefix == QLatin1String(g); }) -
                std::begin(DeviceGroups));
        bool ok = false;
        const qulonglong index = m.captured(2).toULongLong(&ok);
        if (ok)
            nodes.push_back({group, index, name});
    }
    std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) {
        if (a.group != b.group)
            return a.group < b.group;
        return a.index != b.index ? a.index < b.index : a.name < b.name;
    });
    if (std::size_t(number) > nodes.size())
        return {};
    return dir.absoluteFilePath(nodes[std::size_t(number) - 1].name);
}

namespace {

QString ModeText(mode_t mode) {
    QString t = S_ISCHR(mode)   ? QStringLiteral("c")
                : S_ISDIR(mode) ? QStringLiteral("d")
                                : QStringLiteral("-");
    const mode_t bits[] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                           S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    for (int i = 0; i < 9; ++i)
        t += (mode & bits[i]) ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    return t;
}

QString UserName(uid_t uid) {
    const passwd* p = ::getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

QString GroupName(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

} // namespace

std::optional<AccessRefusal> AccessRefusalOf(const QString& device) {
    const QByteArray name = QFile::encodeName(device);
    // Asked of the system for this process's own identity, without opening the device: an
    // open would raise the line's control signals, and some units reset on that.
    if (::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) == 0 ||
        (errno != EACCES && errno != EPERM))
        return std::nullopt;
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return std::nullopt;
    AccessRefusal r;
    r.group = GroupName(st.st_gid);
    r.permissions =
        ModeText(st.st_mode) + QLatin1Char(' ') + UserName(st.st_uid) + QLatin1Char(' ') + r.group;
    r.user = UserName(::geteuid());
    return r;
}

#endif

} // namespace quorvex
