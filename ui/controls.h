#pragma once
// The window's controls made as its designer laid them out: a name, a text, a place.
#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace quorvex {

// A plain-text label (it may quote a unit, a file or a package header); `index` >= 0 gives
// the element number of a control array.
QLabel* MakeLabel(QWidget* parent, const QString& name, int index, const QString& text,
                  QRect geometry);
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, QRect geometry);
QFrame* MakePanel(QWidget* parent, const QString& name, QRect geometry);

} // namespace quorvex
