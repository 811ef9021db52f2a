#pragma once
// A package dragged from the file manager onto the window: while the main button offers to
// browse, a single .dff file dropped opens as if it had been browsed for; any other drop, and
// a drop at any other time, is refused without a word.
#include <QObject>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

namespace quorvex {

// The one local file with the .dff extension (either case) that `data` carries; empty when it
// carries anything else or more than one file.
QString DroppedPackage(const QMimeData* data);

class PackageDrop : public QObject {
    Q_OBJECT
  public:
    // `offersBrowse` says whether the window takes a package now; `open` opens one. The open
    // runs once the drop has ended, so that the file manager is not held by the load's
    // question.
    PackageDrop(QWidget& window, std::function<bool()> offersBrowse,
                std::function<void(const QString&)> open);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    std::function<bool()> offersBrowse_;
    std::function<void(const QString&)> open_;
};

} // namespace quorvex
