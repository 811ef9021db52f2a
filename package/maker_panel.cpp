#include "package/maker_panel.h"
#include "package/catalogue.h"

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

QString ChipEntryText(int chipId) { return ChipModelName(chipId) + QStringLiteral(" [%1]").arg(chipId); }

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

std::optional<int> DefaultChipFor(const QString& code) { return ProposedChipOf(CodeToUnitId(code)); }

bool HidesMinorAndRevision(const QString& code) { return code.toUpper().contains(QLatin1String("QM571")); }

bool OpensMakerPanel(bool leftButton, bool shift, bool ctrl, bool alt) { return leftButton && (shift || ctrl || alt); }

} // namespace quorvex
