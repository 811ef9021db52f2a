#include "ui/qt_prompts.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace quorvex {

namespace {
QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Information:
        break;
    }
    return QMessageBox::Information;
}
} // namespace

void QtPrompts::message(const QString& text, Icon icon, const QString& caption) {
    QMessageBox box(ToQt(icon), caption, text, QMessageBox::Ok, parent_);
    // Boxes quote file names, paths and package headers: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtPrompts::askYesNo(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void QtPrompts::openInViewer(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace quorvex
