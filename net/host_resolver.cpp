#include "net/host_resolver.h"

#include "base/failure.h"

#include <QHostAddress>
#include <QHostInfo>

namespace quorvex {

QString SystemHostResolver::resolve(const QString& host) {
    const QString text = host.trimmed();
    QHostAddress literal;
    if (literal.setAddress(text))
        return literal.toString();

    const QHostInfo info = text.isEmpty() ? QHostInfo() : QHostInfo::fromName(text);
    const QList<QHostAddress> found = info.addresses();
    for (const QHostAddress& a : found)
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a.toString();
    if (!found.isEmpty())
        return found.first().toString();
    Raise(FailureNo::WsaHostNotFound, QStringLiteral("Host not found: %1").arg(text));
}

} // namespace quorvex
