#pragma once
// Readable text on whatever palette the desktop gives: the contrast of two colours as
// accessibility guidelines measure it, and labels that stay at full contrast while disabled.
#include <QColor>

class QLabel;

namespace quorvex {

// (L1 + 0.05) / (L2 + 0.05) of the colours' relative luminances, the lighter first: 1 for
// equal colours, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

// Of `preferred` and `fallback`, `preferred` when it stands out from `background` by at least
// `least`, else whichever stands out more.
QColor ReadableOn(const QColor& background, const QColor& preferred, const QColor& fallback,
                  double least);

// The label is still disabled with the window's other controls, but its text keeps the colour
// of enabled text, also when the palette changes later (a dark desktop theme): it says what
// the technician must do while the rest waits.
void KeepFullContrastWhenDisabled(QLabel* label);

} // namespace quorvex
