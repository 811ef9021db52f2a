#include "base/catalogue.h"

#include <array>

namespace quorvex {

namespace {

struct Product {
    int unitId;
    const char* code;
    const char* displayName;
    const char* settings; // nullptr: the port keeps its settings
    int proposedChip;
};

constexpr std::array<Product, 8> Products{{
    {0, "ORBEL", "Orbel-8", "38400,n,8,1", 4},
    {2, "QM571", "QM-571", "9600,n,8,1", 2},
    {4, "TORV5", "TORV5", "9600,n,8,1", 0},
    {6, "BRIX12", "BRIX12", "4800,n,8,1", 1},
    {8, "NYX2", "LanSignalViewer2", nullptr, 8},
    {9, "VESKAR2", "VeskarPlus2", nullptr, 8},
    {10, "VESKAR4", "VeskarPlus4", nullptr, 8},
    {11, "VESKAR6", "VeskarPlus6", nullptr, 4},
}};

const Product* ByUnitId(int unitId) {
    for (const auto& p : Products)
        if (p.unitId == unitId)
            return &p;
    return nullptr;
}

const Product* ByExactCode(const QString& code) {
    for (const auto& p : Products)
        if (code == QLatin1String(p.code))
            return &p;
    return nullptr;
}

} // namespace

QString ChipModelName(int chipId) {
    switch (chipId) {
    case 0:
        return QStringLiteral("PIC16F876A/877A");
    case 1:
        return QStringLiteral("PIC16F873A/874A");
    case 2:
        return QStringLiteral("PIC16F886/887");
    case 3:
        return QStringLiteral("PIC18F2520/4520");
    case 4:
        return QStringLiteral("PIC18F2620/4620");
    case 8:
        return QStringLiteral("PIC18F67J60");
    default:
        return QStringLiteral("Unknown Model");
    }
}

QString UnitIdToCode(int unitId) {
    const Product* p = ByUnitId(unitId);
    return p ? QString::fromLatin1(p->code) : QString();
}

int CodeToUnitId(const QString& code) {
    const Product* p = ByExactCode(code.toUpper());
    return p ? p->unitId : 0;
}

QString ProductDisplayName(const QString& code) {
    const Product* p = ByExactCode(code);
    return p ? QString::fromLatin1(p->displayName) : QString();
}

std::optional<QString> SerialSettingsOf(const QString& code) {
    const Product* p = ByExactCode(code);
    if (!p || !p->settings)
        return std::nullopt;
    return QString::fromLatin1(p->settings);
}

std::optional<int> ProposedChipOf(int unitId) {
    const Product* p = ByUnitId(unitId);
    if (!p)
        return std::nullopt;
    return p->proposedChip;
}

} // namespace quorvex
