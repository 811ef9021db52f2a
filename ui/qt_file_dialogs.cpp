#include "ui/qt_file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace quorvex {

QStringList QtFileDialogBackend::Prepare(QFileDialog& dialog, const FileDialogRequest& r) {
    const bool save = r.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setWindowTitle(!r.title.isEmpty() ? r.title
                          : save             ? QFileDialog::tr("Save As")
                                             : QFileDialog::tr("Open"));
    dialog.setDefaultSuffix(r.defaultExtension);

    QStringList names;
    for (const FilterPair& pair : r.filters)
        names << QtNameFilter(pair);
    if (!names.isEmpty())
        dialog.setNameFilters(names);
    if (!r.folder.isEmpty())
        dialog.setDirectory(QDir::fromNativeSeparators(r.folder));
    if (!r.fileName.isEmpty())
        dialog.selectFile(QDir::fromNativeSeparators(r.fileName));
    return names;
}

std::optional<QString> QtFileDialogBackend::show(const FileDialogRequest& r) {
    QFileDialog dialog;
    const QStringList names = Prepare(dialog, r);
    const bool save = r.kind == FileDialogRequest::Kind::Save;
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString named = dialog.selectedFiles().first();
        const qsizetype filter = names.indexOf(dialog.selectedNameFilter());
        if (!save || filter < 0)
            return named;
        // Qt adds its default suffix only to a name without any dot; the name the dialog
        // confirmed may then grow an extension, and that name is asked about in its turn.
        const QString full = WithDefaultExtension(named, r.defaultExtension, r.filters.at(filter));
        if (full == named || !QFileInfo::exists(full))
            return full;
        // The file name is shown as typed, never read as markup.
        QMessageBox ask(QMessageBox::Question, dialog.windowTitle(),
                        QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                            .arg(QFileInfo(full).fileName()),
                        QMessageBox::Yes | QMessageBox::No, &dialog);
        ask.setTextFormat(Qt::PlainText);
        if (ask.exec() == QMessageBox::Yes)
            return full;
    }
}

} // namespace quorvex
