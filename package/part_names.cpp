#include "package/part_names.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace quorvex::parts {

namespace {

// Of the target's name, this much goes into a part's name, which must stay within the 255
// bytes a file name may have.
constexpr int TargetNameInPart = 40;

} // namespace

QString PartName(const QString& targetName) {
    return QLatin1Char('.') + targetName.left(TargetNameInPart) + QStringLiteral(".quorvex-") +
           QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-') +
           QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16,
                                    QLatin1Char('0'));
}

const QRegularExpression& PartPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^\\..+\\.quorvex-([0-9]{1,10})-[0-9a-f]{8}$"));
    return pattern;
}

QStringList PartsIn(const QDir& folder) {
    QStringList out;
    const QStringList names =
        folder.entryList({QStringLiteral(".*.quorvex-*")},
                         QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names)
        if (PartPattern().match(name).hasMatch())
            out << name;
    return out;
}

Failure SystemFailure(int number, const QString& detail) {
    const QString plain = DefaultDescription(number);
    return Failure{number, detail.isEmpty() ? plain : plain + QStringLiteral(": ") + detail};
}

} // namespace quorvex::parts
