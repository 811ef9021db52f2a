#include "base/identity.h"

namespace quorvex {

QString ProgramVersionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(Identity::Major)
        .arg(Identity::Minor)
        .arg(Identity::Revision);
}

QString CaptionText() {
    return QString::fromLatin1(Identity::Company) + ' ' + QString::fromLatin1(Identity::Title) +
           " v" + ProgramVersionText();
}

QString AppTitle() {
    return QString::fromLatin1(Identity::Title);
}

} // namespace quorvex
