#pragma once
// Choosing a file to open or a name to save under. The calls keep the classic shape the
// callers were written against (filter texts with "|" separators, a 1-based filter index,
// dialog flags, in/out texts); the dialog itself sits behind a small backend, a QFileDialog in
// the program and a script in tests.
#include "base/failure.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace quorvex {

// Dialog flags, with the values callers pass in "extra flags".
inline constexpr int OFN_READONLY = 0x1;
inline constexpr int OFN_OVERWRITEPROMPT = 0x2;
inline constexpr int OFN_HIDEREADONLY = 0x4;
inline constexpr int OFN_ENABLEHOOK = 0x20;
inline constexpr int OFN_ENABLETEMPLATE = 0x40;
inline constexpr int OFN_ALLOWMULTISELECT = 0x200;
inline constexpr int OFN_FILEMUSTEXIST = 0x1000;
inline constexpr int OFN_EXPLORER = 0x80000;

struct FilterPair {
    QString description;
    QString pattern; // "*.dff", several joined by ";"
};

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString fileName;      // the caller's initial text
    QString initialFolder; // already derived from the file name when the caller gave none
    QString title;         // empty: the dialog's own caption
    QString defaultExtension;
    QList<FilterPair> filters;
    int filterIndex = 1; // 1-based
    int flags = 0;
    QObject* owner = nullptr;
};

struct FileDialogAnswer {
    bool chosen = false;
    QStringList files; // full paths; several only with OFN_ALLOWMULTISELECT
    int filterIndex = 0;
    int flags = 0; // as the dialog left them; OFN_READONLY when the read-only box was ticked
};

class FileDialogBackend {
  public:
    virtual ~FileDialogBackend() = default;
    // Shows the dialog and waits for the user. A dialog that cannot be shown may throw
    // FailureError; the caller then treats it as cancelled.
    virtual FileDialogAnswer show(const FileDialogRequest& request) = 0;
};

// "A|*.a|B|*.b" (":" separates too) into the NUL-separated form, ended by two NULs.
QString SystemFilter(const QString& filter);
// The pairs of a NUL-separated filter, up to its end or its first empty description.
QList<FilterPair> FilterPairs(const QString& systemFilter);
// The index-th pair (1-based) as description, NUL, pattern; empty when there is none.
QString FilterLookup(const QString& systemFilter, int index);
// One pair as a QFileDialog name filter: "Firmware Files (*.dff)", "All Files (*)".
QString QtNameFilter(const FilterPair& pair);

// A saved name gets the default extension when the chosen filter is for that extension and the
// name does not end with it already ("main v1.4.12" becomes "main v1.4.12.dff": its dots would
// otherwise pass for an extension of "12").
QString WithDefaultExtension(const QString& path, const QString& extension,
                             const FilterPair& chosenFilter);

// One call of a file dialog: what it is asked with, and, once it returns, what was chosen.
struct DialogCall {
    // In: the initial text. Out: the chosen path; for several files the folder, then each name,
    // NUL-separated. Empty after a cancel.
    QString fileName;
    // Out: the chosen file's name without its folder; empty for several files or a cancel.
    QString fileTitle;
    // In: "A|*.a|B|*.b" (":" separates too). Out: the chosen pair, description NUL pattern.
    QString filter;
    // In and out: the 1-based index of the filter offered first, then of the one chosen.
    int filterIndex = 1;
    // Empty: the folder of the initial file name.
    QString initialFolder;
    // Empty: the dialog's own caption.
    QString title;
    QString defaultExtension;
    // In: dialog flags beyond those below. Out: as the dialog left them; 0 after a cancel.
    int flags = 0;
    // Open only. In: the read-only box starts ticked. Out: true when it was ticked.
    bool readOnly = false;
    bool fileMustExist = false;
    bool multiSelect = false;
    bool hideReadOnly = false;
    // Save only.
    bool askBeforeOverwriting = false;
    // The parent window, or nullptr for none.
    QObject* owner = nullptr;
};

// True when the user chose a file; `call` then holds the choice.
bool OpenDialog(FileDialogBackend& backend, ErrorSink& log, DialogCall& call);
// As OpenDialog; the read-only box is always hidden.
bool SaveDialog(FileDialogBackend& backend, ErrorSink& log, DialogCall& call);

} // namespace quorvex
