#pragma once
// Choosing a file to open or a name to save under: two plain calls that return the path chosen,
// or nothing when the dialog was cancelled. The dialog itself sits behind a small backend, a
// QFileDialog in the program and a script in tests.
#include "base/failure.h"

#include <QList>
#include <QString>
#include <optional>

namespace quorvex {

struct FilterPair {
    QString description; // "Tolvane Firmware Files (*.dff)"
    QString pattern;     // "*.dff", several joined by ";"
};

// Every file, with or without an extension.
FilterPair AllFilesFilter();

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;
    // Offered in order, the first one chosen.
    QList<FilterPair> filters;
    // The name the dialog starts on; may be empty.
    QString fileName;
    // Where it opens: when empty, the folder of the file name.
    QString folder;
    // A save adds it to a name typed without it.
    QString defaultExtension;
};

class FileDialogBackend {
  public:
    virtual ~FileDialogBackend() = default;
    // Shows the dialog and waits for the user: an open takes an existing file, a save asks
    // before an existing file is replaced. None when cancelled. A dialog that cannot be shown
    // may throw FailureError; the caller then treats it as cancelled.
    virtual std::optional<QString> show(const FileDialogRequest& request) = 0;
};

// The existing file chosen to open, or none. A dialog that fails is logged under OpenDialog and
// looks cancelled.
std::optional<QString> OpenDialog(FileDialogBackend& backend, ErrorSink& log,
                                  FileDialogRequest request);
// The name chosen to save under (the user agreed to replace a file of that name), or none; a
// failure is logged under SaveDialog.
std::optional<QString> SaveDialog(FileDialogBackend& backend, ErrorSink& log,
                                  FileDialogRequest request);

// One pair as a QFileDialog name filter: "Firmware Files (*.dff *.DFF)", "All Files (*)".
QString QtNameFilter(const FilterPair& pair);

// A saved name gets the default extension when the chosen filter is for that extension and the
// name does not end with it already ("main v1.4.12" becomes "main v1.4.12.dff": its dots would
// otherwise pass for an extension of "12").
QString WithDefaultExtension(const QString& path, const QString& extension,
                             const FilterPair& chosenFilter);

} // namespace quorvex
