// quorvex-cli ports: the serial ports that open now, as the window lists them.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/table.h"
#include "serial/port_discovery.h"
#include "serial/qt_serial_port.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>

namespace quorvex::cli {

namespace {

QString HexId(bool has, quint16 id) {
    return has ? QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')) : QString();
}

} // namespace

int RunPorts(const Arguments& a) {
    QtSerialPort port(DeviceFolder(a));
    const QList<PortEntry> ports = ScanPorts(port);
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QJsonArray list;
    QList<QStringList> rows;
    for (const PortEntry& p : ports) {
        const QString device = QFileInfo(p.device).canonicalFilePath();
        QSerialPortInfo info;
        for (const QSerialPortInfo& i : infos)
            if (i.systemLocation() == device || i.systemLocation() == p.device)
                info = i;
        const QString vendor = HexId(info.hasVendorIdentifier(), info.vendorIdentifier());
        const QString product = HexId(info.hasProductIdentifier(), info.productIdentifier());
        QJsonObject o;
        o[QStringLiteral("port")] = p.text;
        o[QStringLiteral("number")] = p.number;
        o[QStringLiteral("device")] = p.device;
        o[QStringLiteral("vendorId")] = vendor;
        o[QStringLiteral("productId")] = product;
        o[QStringLiteral("manufacturer")] = info.manufacturer();
        o[QStringLiteral("description")] = info.description();
        o[QStringLiteral("serialNumber")] = info.serialNumber();
        list.append(o);
        QString adapter = info.description();
        if (!info.manufacturer().isEmpty())
            adapter = info.manufacturer() + QLatin1Char(' ') + adapter;
        rows << QStringList{p.text, p.device,
                            vendor.isEmpty() ? QString() : vendor + QLatin1Char(':') + product,
                            info.serialNumber(), adapter.trimmed()};
    }
    if (a.json)
        PrintRaw(VisibleJson(QJsonDocument(list).toJson(QJsonDocument::Indented)));
    else if (rows.isEmpty())
        PrintLine(QStringLiteral("No serial port opens now."));
    else
        PrintRaw(FormatTable({QStringLiteral("PORT"), QStringLiteral("DEVICE"),
                              QStringLiteral("VENDOR:PRODUCT"), QStringLiteral("SERIAL NUMBER"),
                              QStringLiteral("ADAPTER")},
                             rows));
    return ExitOk;
}

} // namespace quorvex::cli
