#include "ui/logo_widget.h"

#include "ui/contrast.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace quorvex {

namespace {

const QColor Ink(0x1d, 0x3f, 0x6e);
// The ink on a dark window: the same blue, light enough to stand out there.
const QColor LightInk(0xa9, 0xc4, 0xe8);
const QColor Accent(0xe0, 0x8a, 0x1e);
// Large text and graphics stay readable at this contrast against the window.
constexpr double LeastContrast = 3.0;

// `ink` draws the chip and the name: Ink, or another colour where the window's background
// leaves Ink unreadable.
void DrawLogo(QPainter& p, const QRectF& r, const QColor& ink = Ink) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = std::min(r.width(), r.height());
    const QPointF c(r.center().x(), r.top() + s * 0.42);
    const qreal body = s * 0.42;
    p.setPen(Qt::NoPen);
    for (const LogoShape& shape : LogoMark(c, body))
        p.fillPath(shape.path, shape.color == Ink ? ink : shape.color);
    const qreal pin = body / 9;
    const qreal chipBottom = c.y() + body / 2;

    // The maker's name beneath.
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(std::max(8, int(s * 0.15)));
    f.setLetterSpacing(QFont::PercentageSpacing, 115);
    p.setFont(f);
    p.setPen(ink);
    const QRectF text(r.left(), chipBottom + pin * 2.2, r.width(), s * 0.22);
    p.drawText(text, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("TOLVANE"));
}

// Assistive technology sees the logo as the picture it is, not as an unnamed blank area.
QAccessibleInterface* LogoAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(LogoWidget::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

QList<LogoShape> LogoMark(QPointF c, qreal body) {
    // A chip seen from above: a body with four pins on each side.
    const QRectF chip(c.x() - body / 2, c.y() - body / 2, body, body);
    const qreal pin = body / 9;
    QPainterPath chipPath;
    for (int i = 0; i < 4; ++i) {
        const qreal off = chip.top() + pin * (1 + 2 * i);
        chipPath.addRect(QRectF(chip.left() - pin * 1.4, off, pin * 1.4, pin));
        chipPath.addRect(QRectF(chip.right(), off, pin * 1.4, pin));
        const qreal offx = chip.left() + pin * (1 + 2 * i);
        chipPath.addRect(QRectF(offx, chip.top() - pin * 1.4, pin, pin * 1.4));
        chipPath.addRect(QRectF(offx, chip.bottom(), pin, pin * 1.4));
    }
    chipPath.addRoundedRect(chip, pin, pin);
    chipPath.setFillRule(Qt::WindingFill);

    // A lightning stroke across it: firmware going in.
    QPainterPath bolt;
    bolt.moveTo(c.x() + body * 0.10, chip.top() + body * 0.12);
    bolt.lineTo(c.x() - body * 0.22, c.y() + body * 0.06);
    bolt.lineTo(c.x() - body * 0.01, c.y() + body * 0.06);
    bolt.lineTo(c.x() - body * 0.12, chip.bottom() - body * 0.10);
    bolt.lineTo(c.x() + body * 0.24, c.y() - body * 0.08);
    bolt.lineTo(c.x() + body * 0.03, c.y() - body * 0.08);
    bolt.closeSubpath();
    return {{chipPath, Ink}, {bolt, Accent}};
}

LogoWidget::LogoWidget(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&LogoAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setObjectName(QStringLiteral("imgLogo"));
    setAccessibleName(QStringLiteral("Tolvane logo"));
}

QPixmap LogoWidget::Render(QSize size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    DrawLogo(p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pm;
}

void LogoWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawLogo(p, QRectF(rect()),
             ReadableOn(palette().color(QPalette::Window), Ink, LightInk, LeastContrast));
}

void LogoWidget::mousePressEvent(QMouseEvent* e) {
    emit pressed(e->button(), e->modifiers());
    QWidget::mousePressEvent(e);
}

} // namespace quorvex
