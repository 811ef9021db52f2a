#pragma once
// How a port number becomes the name of a device, and why a device refuses this user. The
// only platform-specific part of the serial layer: Windows names its ports COMn; elsewhere
// the device folder is listed.
#include <QString>
#include <optional>

namespace quorvex {

// The folder that holds the serial devices on this platform ("/dev"; empty on Windows).
QString DefaultDeviceFolder();

// The name QSerialPort opens for port `number` (from 1), or an empty text when there is no
// such port. On Linux port n is the n-th of ttyUSB*, ttyACM*, ttyS* in `folder`, in that
// order, each group in numeric order, as the folder stands now.
QString PortDeviceName(int number, const QString& folder);

// A device this user may not read and write, as the device itself tells: its mode, owner and
// group ("crw-rw---- root dialout"), the group whose members may open it, and the user's name.
struct AccessRefusal {
    QString permissions;
    QString group;
    QString user;
};
// None when the user may open the device (or it is missing), and always on Windows, whose
// ports refuse nobody this way.
std::optional<AccessRefusal> AccessRefusalOf(const QString& device);

} // namespace quorvex
