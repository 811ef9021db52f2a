#pragma once
// Serial ports that exist but refuse this user: the advice both front ends give, and the
// window's notice after a scan left such ports out of its list.
#include "base/failure.h"
#include "base/prompts.h"
#include "serial/port_discovery.h"
#include "serial/port_naming.h"
#include "serial/serial_port.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace quorvex {

// How this user may come to open a device that refuses them: join its group when the group
// may read and write it, or, when only root may (its group is root, or the group's bits do
// not allow it), ask an administrator. One sentence.
QString PortAccessAdvice(const AccessRefusal& refusal);

// Why a device refuses this user; AccessRefusalOf in the program, a script in tests.
using AccessCheck = std::function<std::optional<AccessRefusal>(const QString& device)>;

struct RefusedPort {
    QString device;
    AccessRefusal refusal;
};

// The ports 1..16 that have a device, are not among `listed` and refuse this user.
QList<RefusedPort> RefusedPorts(const SerialPort& port, const QList<PortEntry>& listed,
                                const AccessCheck& refusalOf);

// The window's words for ports a scan left out because this user may not open them.
QString RefusedPortsText(const QList<RefusedPort>& refused);

// Tells the technician once about each device the scans leave out for want of permission: a
// box with the fix and one record in the log; a scan that finds only devices told before says
// nothing.
class PortAccessNotice {
  public:
    explicit PortAccessNotice(AccessCheck refusalOf) : refusalOf_(std::move(refusalOf)) {}
    void afterScan(const SerialPort& port, const QList<PortEntry>& listed, Guard& guard,
                   Prompts& prompts);

  private:
    AccessCheck refusalOf_;
    QSet<QString> told_;
};

} // namespace quorvex
