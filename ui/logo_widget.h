#pragma once
// imgLogo: the maker's mark, drawn rather than loaded, and the hidden door to the maker panel.
#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QWidget>

namespace quorvex {

// One filled outline of the logo's mark.
struct LogoShape {
    QPainterPath path;
    QColor color;
};

// The mark without the maker's name beneath it (a chip and the bolt across it), as filled
// outlines in drawing order: the window draws it, and the program's icons are made of it.
// `centre` is the chip's centre, `body` the chip's side without its pins; with its pins the
// mark is 1.32 times `body` across.
QList<LogoShape> LogoMark(QPointF centre, qreal body);

class LogoWidget : public QWidget {
    Q_OBJECT
  public:
    explicit LogoWidget(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {150, 125}; }
    // The same drawing as a picture, for the window icon.
    static QPixmap Render(QSize size);

  signals:
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
};

} // namespace quorvex
