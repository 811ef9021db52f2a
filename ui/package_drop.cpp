#include "ui/package_drop.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace quorvex {

QString DroppedPackage(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    const QString path = urls.first().toLocalFile();
    if (!path.endsWith(QLatin1String(".dff"), Qt::CaseInsensitive) || !QFileInfo(path).isFile())
        return {};
    return path;
}

PackageDrop::PackageDrop(QWidget& window, std::function<bool()> offersBrowse,
                         std::function<void(const QString&)> open)
    : QObject(&window), offersBrowse_(std::move(offersBrowse)), open_(std::move(open)) {
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

bool PackageDrop::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(e);
        // Ignored: the cursor shows that nothing would happen, and no drop follows.
        if (offersBrowse_() && !DroppedPackage(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(e);
        const QString path = DroppedPackage(drop->mimeData());
        // Looked at again: the window may have begun work since the drag came in.
        if (path.isEmpty() || !offersBrowse_()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        QTimer::singleShot(0, this, [this, path] { open_(path); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, e);
    }
}

} // namespace quorvex
