#include "flow/port_access.h"

#include <QMap>
#include <QStringList>
#include <algorithm>

namespace quorvex {

namespace {

// "crw-rw---- root dialout": the group's read and write bits are the mode's fifth and sixth
// characters.
bool GroupMayReadAndWrite(const QString& permissions) {
    return permissions.mid(4, 2) == QLatin1String("rw");
}

QString Advice(const AccessRefusal& r, bool several) {
    const QString it = several ? QStringLiteral("them") : QStringLiteral("it");
    // Root's group is no group to join: membership of it would be root's power in all but name.
    if (r.group != QLatin1String("root") && r.group != QLatin1String("0") &&
        GroupMayReadAndWrite(r.permissions))
        return QStringLiteral("To use %1, join the group that owns %1: sudo usermod -aG %2 %3, "
                              "then log out and in again.")
            .arg(it, r.group, r.user);
    return QStringLiteral("To use %1, an administrator must give user %2 access to %1 (joining "
                          "its group, %3, would not help).")
        .arg(it, r.user, r.group);
}

} // namespace

QString PortAccessAdvice(const AccessRefusal& refusal) {
    return Advice(refusal, false);
}

QList<RefusedPort> RefusedPorts(const SerialPort& port, const QList<PortEntry>& listed,
                                const AccessCheck& refusalOf) {
    QList<RefusedPort> refused;
    for (int n = FirstScannedPort; n <= LastScannedPort; ++n) {
        const QString device = port.deviceName(n);
        if (device.isEmpty())
            continue;
        const bool isListed = std::any_of(listed.begin(), listed.end(),
                                          [&](const PortEntry& e) { return e.device == device; });
        if (isListed)
            continue;
        if (const auto why = refusalOf(device))
            refused.append(RefusedPort{device, *why});
    }
    return refused;
}

QString RefusedPortsText(const QList<RefusedPort>& refused) {
    // Devices with the same permissions share their fix: one paragraph each.
    QMap<QString, QList<RefusedPort>> byPermissions;
    for (const RefusedPort& p : refused)
        byPermissions[p.refusal.permissions].append(p);
    QStringList paragraphs;
    for (const QList<RefusedPort>& same : byPermissions) {
        QStringList devices;
        for (const RefusedPort& p : same)
            devices << p.device;
        const AccessRefusal& r = same.first().refusal;
        const bool several = same.size() > 1;
        paragraphs << QStringLiteral("User %1 may not read and write %2 (%3), so %4 not listed.")
                              .arg(r.user, devices.join(QStringLiteral(", ")), r.permissions,
                                   several ? QStringLiteral("they are") : QStringLiteral("it is")) +
                          QStringLiteral("\r\n") + Advice(r, several);
    }
    return paragraphs.join(QStringLiteral("\r\n\r\n"));
}

void PortAccessNotice::afterScan(const SerialPort& port, const QList<PortEntry>& listed,
                                 Guard& guard, Prompts& prompts) {
    QList<RefusedPort> fresh;
    for (const RefusedPort& p : RefusedPorts(port, listed, refusalOf_))
        if (!told_.contains(p.device))
            fresh.append(p);
    if (fresh.isEmpty())
        return;
    QStringList records;
    for (const RefusedPort& p : fresh) {
        told_.insert(p.device);
        records << QStringLiteral("%1 (%2)").arg(p.device, p.refusal.permissions);
    }
    guard.log(Failure{FailureNo::PermissionDenied,
                      QStringLiteral("Permission denied: user %1 may not read and write %2")
                          .arg(fresh.first().refusal.user, records.join(QStringLiteral(", ")))});
    ShowInfo(prompts, RefusedPortsText(fresh));
}

} // namespace quorvex
