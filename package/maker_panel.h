#pragma once
// What the maker panel offers and proposes; the window only shows it.
#include <QString>
#include <QStringList>
#include <optional>

namespace quorvex {

// Product codes of unit ids 0..15 that have one, in unit id order.
QStringList UnitListEntries();
// "PIC16F876A/877A [0]" ... for chip ids 0..15 that have a model.
QStringList ChipListEntries();
QString ChipEntryText(int chipId);
// The index of the first entry equal (in upper case) to the entry of `chipId`; `current` when
// none matches.
int SelectChipEntry(const QStringList& entries, int chipId, int current);
// The chip proposed when the maker picks `code`.
std::optional<int> DefaultChipFor(const QString& code);
// QM571 packages carry a one-number version: the minor and revision boxes are hidden.
bool HidesMinorAndRevision(const QString& code);
// A version box read as a number: its leading numeric part (none reads as 0), rounded to the
// nearest whole number with halves to even. None when that lies outside 0..255.
std::optional<int> ReadVersionBox(const QString& text);
// The id of a chip entry "model [id]"; none when the entry holds no id in 0..255.
std::optional<int> ChipIdOfEntry(const QString& entry);
// The panel opens on a left press with Shift, Ctrl or Alt held, in any combination.
bool OpensMakerPanel(bool leftButton, bool shift, bool ctrl, bool alt);

} // namespace quorvex
