#pragma once
// imgLogo: the maker's mark, drawn rather than loaded, and the hidden door to the maker panel.
#include <QWidget>

namespace quorvex {

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
