#include "serial/port_naming.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace quorvex {

#ifdef Q_OS_WIN

QString DefaultDeviceFolder() {
    return {};
}

QString PortDeviceName(int number, const QString&) {
    return number >= 1 ? QStringLiteral("COM%1").arg(number) : QString();
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

#endif

} // namespace quorvex
