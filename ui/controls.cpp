#include "ui/controls.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace quorvex {

QLabel* MakeLabel(QWidget* parent, const QString& name, int index, const QString& text,
                  QRect geometry) {
    auto* l = new QLabel(parent);
    // Labels may quote a unit, a file or a package header: never read as markup.
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setObjectName(name);
    if (index >= 0)
        l->setProperty("index", index);
    l->setGeometry(geometry);
    return l;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

QFrame* MakePanel(QWidget* parent, const QString& name, QRect geometry) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setGeometry(geometry);
    return f;
}

} // namespace quorvex
