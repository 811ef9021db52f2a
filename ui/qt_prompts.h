#pragma once
// Message boxes, questions and the desktop's viewer, the Qt way.
#include "base/prompts.h"

#include <QPointer>
#include <QWidget>

namespace quorvex {

class QtPrompts : public Prompts {
  public:
    void setParentWindow(QWidget* w) { parent_ = w; }
    void message(const QString& text, Icon icon, const QString& caption) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void openInViewer(const QString& path) override;

  private:
    QPointer<QWidget> parent_;
};

} // namespace quorvex
