#include "ui/qt_file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

namespace quorvex {

QStringList QtFileDialogBackend::Prepare(QFileDialog& dialog, const FileDialogRequest& r) {
    const bool save = r.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (save)
        dialog.setFileMode(QFileDialog::AnyFile);
    else if (r.flags & OFN_ALLOWMULTISELECT)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else
        dialog.setFileMode((r.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                         : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(r.flags & OFN_OVERWRITEPROMPT));
    dialog.setWindowTitle(!r.title.isEmpty() ? r.title
                          : save             ? QFileDialog::tr("Save As")
                                             : QFileDialog::tr("Open"));
    dialog.setDefaultSuffix(r.defaultExtension);

    QStringList names;
    for (const FilterPair& pair : r.filters)
        names << QtNameFilter(pair);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        if (r.filterIndex >= 1 && r.filterIndex <= names.size())
            dialog.selectNameFilter(names.at(r.filterIndex - 1));
    }
    if (!r.initialFolder.isEmpty())
        dialog.setDirectory(QDir::fromNativeSeparators(r.initialFolder));
    if (!r.fileName.isEmpty())
        dialog.selectFile(QDir::fromNativeSeparators(r.fileName));
    return names;
}

FileDialogAnswer QtFileDialogBackend::show(const FileDialogRequest& r) {
    QFileDialog dialog(qobject_cast<QWidget*>(r.owner));
    const QStringList names = Prepare(dialog, r);
    const bool save = r.kind == FileDialogRequest::Kind::Save;
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        FileDialogAnswer answer;
        answer.files = dialog.selectedFiles();
        answer.chosen = !answer.files.isEmpty();
        answer.filterIndex = int(names.indexOf(dialog.selectedNameFilter())) + 1;
        if (answer.filterIndex == 0)
            answer.filterIndex = r.filterIndex;
        answer.flags = r.flags;
        if (!save || !answer.chosen || answer.filterIndex > r.filters.size())
            return answer;
        // Qt adds its default suffix only to a name without any dot; the name the dialog
        // confirmed may then grow an extension, and that name is asked about in its turn.
        const QString named = answer.files.first();
        const QString full =
            WithDefaultExtension(named, r.defaultExtension, r.filters.at(answer.filterIndex - 1));
        if (full == named)
            return answer;
        answer.files.first() = full;
        if (!(r.flags & OFN_OVERWRITEPROMPT) || !QFileInfo::exists(full))
            return answer;
        // The file name is shown as typed, never read as markup.
        QMessageBox ask(QMessageBox::Question, dialog.windowTitle(),
                        QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                            .arg(QFileInfo(full).fileName()),
                        QMessageBox::Yes | QMessageBox::No, &dialog);
        ask.setTextFormat(Qt::PlainText);
        if (ask.exec() == QMessageBox::Yes)
            return answer;
    }
}

} // namespace quorvex
