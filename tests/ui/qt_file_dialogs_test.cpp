// The Qt dialog is set up as each caller asks: mode, overwrite question, title, filters and
// the one selected, folder and name.
#include "ui/qt_file_dialogs.h"

#include <QFileDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quorvex;

namespace {

FileDialogRequest PackageSave(const QString& folder) {
    FileDialogRequest r;
    r.kind = FileDialogRequest::Kind::Save;
    r.title = "Save TORV5 Firmware File";
    r.folder = folder;
    r.fileName = "main v1.4.12";
    r.defaultExtension = "dff";
    r.filters = {{"TORV5 Firmware Files (*.dff)", "*.dff"}, AllFilesFilter()};
    return r;
}

} // namespace

TEST(QtFileDialogs, ASaveAsksBeforeOverwritingUnderItsTitleFiltersAndFolder) {
    QTemporaryDir dir;
    QFileDialog dialog;
    const QStringList names = QtFileDialogBackend::Prepare(dialog, PackageSave(dir.path()));
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog.windowTitle(), "Save TORV5 Firmware File");
    EXPECT_EQ(names, QStringList({"TORV5 Firmware Files (*.dff *.DFF)", "All Files (*)"}));
    EXPECT_EQ(dialog.selectedNameFilter(), names.at(0));
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_EQ(dialog.defaultSuffix(), "dff");
}

TEST(QtFileDialogs, AnOpenWantsAnExistingFileUnderTheFirstFilter) {
    FileDialogRequest r;
    r.title = "Load Tolvane Firmware File";
    r.filters = {{"Tolvane Firmware Files (*.dff)", "*.dff"}, AllFilesFilter()};
    QFileDialog dialog;
    const QStringList names = QtFileDialogBackend::Prepare(dialog, r);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.selectedNameFilter(), names.at(0));
    EXPECT_EQ(dialog.windowTitle(), "Load Tolvane Firmware File");
}
