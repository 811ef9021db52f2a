#pragma once
// The file dialogs of the program: QFileDialog behind the core's dialog backend.
#include "base/file_dialogs.h"

class QFileDialog;

namespace quorvex {

// Qt's dialog has no read-only box: a request's OFN_READONLY comes back as it went in (the
// box "left as it started") and OFN_HIDEREADONLY changes nothing.
class QtFileDialogBackend : public FileDialogBackend {
  public:
    FileDialogAnswer show(const FileDialogRequest& request) override;

    // Sets up `dialog` for `request` and returns the name filters it was given, in order.
    static QStringList Prepare(QFileDialog& dialog, const FileDialogRequest& request);
};

} // namespace quorvex
