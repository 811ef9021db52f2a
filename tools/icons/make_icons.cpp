// Makes the program's icons from the logo's own mark, so that they never drift from what the
// window draws: a scalable SVG and PNG files for the hicolor theme.
//   make_icons OUTDIR NAME
// writes OUTDIR/scalable/apps/NAME.svg and OUTDIR/SxS/apps/NAME.png for each size S.
#include "ui/logo_widget.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

using namespace quorvex;

namespace {

constexpr int Sizes[] = {16, 24, 32, 48, 64, 128, 256};
// The mark fills this share of the icon's side, pins included.
constexpr qreal Fill = 0.94;
constexpr qreal MarkAcross = 1.0 + 2 * 1.4 / 9; // the chip's side plus a pin on each side

QList<LogoShape> MarkIn(qreal side) {
    return LogoMark(QPointF(side / 2, side / 2), side * Fill / MarkAcross);
}

QString Number(qreal v) {
    return QString::number(v, 'f', 2);
}

// An outline as SVG path data: Qt's paths hold moves, lines and cubic curves only.
QString PathData(const QPainterPath& path) {
    QString d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += QStringLiteral("M%1 %2").arg(Number(e.x), Number(e.y));
            break;
        case QPainterPath::LineToElement:
            d += QStringLiteral("L%1 %2").arg(Number(e.x), Number(e.y));
            break;
        case QPainterPath::CurveToElement: {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                     .arg(Number(e.x), Number(e.y), Number(c2.x), Number(c2.y), Number(end.x),
                          Number(end.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    return d + QLatin1Char('Z');
}

bool WriteSvg(const QString& file) {
    constexpr int Side = 256;
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%1\" viewBox=\"0 0 %1 %1\">\n")
                      .arg(Side);
    for (const LogoShape& shape : MarkIn(Side))
        svg += QStringLiteral("  <path fill=\"%1\" fill-rule=\"%2\" d=\"%3\"/>\n")
                   .arg(shape.color.name(),
                        shape.path.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero")
                                                                 : QStringLiteral("evenodd"),
                        PathData(shape.path));
    svg += QStringLiteral("</svg>\n");
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(svg.toUtf8()) > 0;
}

bool WritePng(const QString& file, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (const LogoShape& shape : MarkIn(side))
        p.fillPath(shape.path, shape.color);
    p.end();
    return image.save(file, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons OUTDIR NAME\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    const auto place = [&](const QString& folder, const QString& file) {
        return out.mkpath(folder) ? out.filePath(folder + QLatin1Char('/') + file) : QString();
    };
    const QString svg = place(QStringLiteral("scalable/apps"), name + QStringLiteral(".svg"));
    if (svg.isEmpty() || !WriteSvg(svg)) {
        std::fprintf(stderr, "make_icons: cannot write the SVG icon in %s\n", argv[1]);
        return 1;
    }
    for (const int side : Sizes) {
        const QString png = place(QStringLiteral("%1x%1/apps").arg(side), name + ".png");
        if (png.isEmpty() || !WritePng(png, side)) {
            std::fprintf(stderr, "make_icons: cannot write the %dx%d icon in %s\n", side, side,
                         argv[1]);
            return 1;
        }
    }
    return 0;
}
