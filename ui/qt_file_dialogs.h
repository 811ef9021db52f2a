#pragma once
// The file dialogs of the program: QFileDialog behind the core's dialog backend.
#include "base/file_dialogs.h"

#include <QStringList>

class QFileDialog;

namespace quorvex {

class QtFileDialogBackend : public FileDialogBackend {
  public:
    std::optional<QString> show(const FileDialogRequest& request) override;

    // Sets up `dialog` for `request` and returns the name filters it was given, in order.
    static QStringList Prepare(QFileDialog& dialog, const FileDialogRequest& request);
};

} // namespace quorvex
