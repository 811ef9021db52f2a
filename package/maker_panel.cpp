#include "package/maker_panel.h"
#include "base/catalogue.h"
#include "base/conversions.h"

#include <cmath>

namespace quorvex {

namespace {
constexpr int IdCount = 16;
}

QStringList UnitListEntries() {
    QStringList out;
    for (int id = 0; id < IdCount; ++id)
        if (const QString code = UnitIdToCode(id); !code.isEmpty())
            out << code;
    return out;
}

QString ChipEntryText(int chipId) {
    return ChipModelName(chipId) + QStringLiteral(" [%1]").arg(chipId);
}

QStringList ChipListEntries() {
    QStringList out;
    for (int id = 0; id < IdCount; ++id)
        if (!ChipModelName(id).contains(QLatin1String("known")))
            out << ChipEntryText(id);
    return out;
}

int SelectChipEntry(const QStringList& entries, int chipId, int current) {
    const QString wanted = ChipEntryText(chipId).toUpper();
    for (int i = 0; i < entries.size(); ++i)
        if (entries.at(i).toUpper() == wanted)
            return i;
    return current;
}

std::optional<int> DefaultChipFor(const QString& code) {
    return ProposedChipOf(CodeToUnitId(code));
}

bool HidesMinorAndRevision(const QString& code) {
    return code.toUpper().contains(QLatin1String("QM571"));
}

std::optional<int> ReadVersionBox(const QString& text) {
    const double rounded =
        std::nearbyint(LeadingNumber(text)); // the default rounding mode sends halves to even
    if (rounded < 0 || rounded > 255)
        return std::nullopt;
    return int(rounded);
}

std::optional<int> ChipIdOfEntry(const QString& entry) {
    const qsizetype open = entry.lastIndexOf(QLatin1Char('['));
    if (open < 0 || !entry.endsWith(QLatin1Char(']')))
        return std::nullopt;
    const QString inside = entry.mid(open + 1, entry.size() - open - 2).trimmed();
    bool ok = false;
    const int id = inside.toInt(&ok);
    if (!ok || id < 0 || id > 255)
        return std::nullopt;
    return id;
}

bool OpensMakerPanel(bool leftButton, bool shift, bool ctrl, bool alt) {
    return leftButton && (shift || ctrl || alt);
}

} // namespace quorvex
