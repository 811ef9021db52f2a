#pragma once
// How a port number becomes the name of a device. The only platform-specific part of the
// serial layer: Windows names its ports COMn; elsewhere the device folder is listed.
#include <QString>

namespace quorvex {

// The folder that holds the serial devices on this platform ("/dev"; empty on Windows).
QString DefaultDeviceFolder();

// The name QSerialPort opens for port `number` (from 1), or an empty text when there is no
// such port. On Linux port n is the n-th of ttyUSB*, ttyACM*, ttyS* in `folder`, in that
// order, each group in numeric order, as the folder stands now.
QString PortDeviceName(int number, const QString& folder);

} // namespace quorvex
