// The two file dialog calls: what they ask the dialog and what comes back, and the filters as
// the Qt dialog shows them.
#include "base/file_dialogs.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

// Remembers what it was asked and answers from a script.
class ScriptedDialog : public FileDialogBackend {
  public:
    std::optional<QString> show(const FileDialogRequest& r) override {
        requests.push_back(r);
        if (fail)
            Raise(FailureNo::DeviceIOError);
        return answer;
    }
    std::vector<FileDialogRequest> requests;
    std::optional<QString> answer;
    bool fail = false;
};

FileDialogRequest PackageOpen(const QString& fileName) {
    FileDialogRequest r;
    r.title = QStringLiteral("Load Tolvane Firmware File");
    r.filters = {{QStringLiteral("Tolvane Firmware Files (*.dff)"), QStringLiteral("*.dff")},
                 AllFilesFilter()};
    r.fileName = fileName;
    return r;
}

} // namespace

TEST(DialogFilter, PairsBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilter({"Tolvane Firmware Files (*.dff)", "*.dff"}),
              QStringLiteral("Tolvane Firmware Files (*.dff *.DFF)"));
    EXPECT_EQ(QtNameFilter({"ORBEL HEX Firmware Files (*.HEX)", "*.HEX"}),
              QStringLiteral("ORBEL HEX Firmware Files (*.HEX *.hex)"));
    EXPECT_EQ(QtNameFilter(AllFilesFilter()), QStringLiteral("All Files (*)"));
    EXPECT_EQ(QtNameFilter({"Images", "*.bin;*.img"}),
              QStringLiteral("Images (*.bin *.BIN *.img *.IMG)"));
}

TEST(OpenDialogCall, AsksWithTheCallersSettingsInTheFileNamesFolderAndGivesThePathBack) {
    ScriptedDialog dialog;
    dialog.answer = QStringLiteral("/data/fw/orbel 1.2.dff");
    fakes::RecordingLog log;
    EXPECT_EQ(OpenDialog(dialog, log, PackageOpen(QStringLiteral("C:\\fw\\main.hex"))),
              QStringLiteral("/data/fw/orbel 1.2.dff"));
    ASSERT_EQ(dialog.requests.size(), 1u);
    const FileDialogRequest& r = dialog.requests[0];
    EXPECT_EQ(r.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(r.folder, QStringLiteral("C:\\fw\\"));
    EXPECT_EQ(r.fileName, QStringLiteral("C:\\fw\\main.hex"));
    EXPECT_EQ(r.title, QStringLiteral("Load Tolvane Firmware File"));
    ASSERT_EQ(r.filters.size(), 2);
    EXPECT_EQ(r.filters[1].pattern, QStringLiteral("*.*"));
    EXPECT_TRUE(log.records.isEmpty());

    // A folder given wins over the file name's; a bare name has none.
    FileDialogRequest elsewhere = PackageOpen(QStringLiteral("/a/b/c.dff"));
    elsewhere.folder = QStringLiteral("/elsewhere/");
    OpenDialog(dialog, log, elsewhere);
    EXPECT_EQ(dialog.requests.at(1).folder, QStringLiteral("/elsewhere/"));
    OpenDialog(dialog, log, PackageOpen(QStringLiteral("c.dff")));
    EXPECT_TRUE(dialog.requests.at(2).folder.isEmpty());
}

TEST(OpenDialogCall, ACancelOrADialogThatFailsGivesNothingAndOnlyTheFailureIsLogged) {
    ScriptedDialog dialog;
    fakes::RecordingLog log;
    EXPECT_EQ(OpenDialog(dialog, log, PackageOpen(QStringLiteral("/fw/previous.dff"))),
              std::nullopt);
    EXPECT_TRUE(log.records.isEmpty());

    dialog.fail = true;
    EXPECT_EQ(OpenDialog(dialog, log, PackageOpen(QStringLiteral("/fw/previous.dff"))),
              std::nullopt);
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].startsWith(
        "Error 57 (Device I/O error) in procedure OpenDialog of Module modDLG on line "));
}

TEST(SaveDialogCall, AsksForANameToSaveUnderAndLogsItsFailuresAsItsOwn) {
    ScriptedDialog dialog;
    dialog.answer = QStringLiteral("/out/ORBEL_1.2.3.dff");
    fakes::RecordingLog log;
    FileDialogRequest request;
    request.title = QStringLiteral("Save ORBEL Firmware File");
    request.fileName = QStringLiteral("/out/ORBEL_1.2.3");
    request.defaultExtension = QStringLiteral("dff");
    EXPECT_EQ(SaveDialog(dialog, log, request), QStringLiteral("/out/ORBEL_1.2.3.dff"));
    EXPECT_EQ(dialog.requests.at(0).kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(dialog.requests.at(0).folder, QStringLiteral("/out/"));

    dialog.fail = true;
    EXPECT_EQ(SaveDialog(dialog, log, request), std::nullopt);
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].startsWith(
        "Error 57 (Device I/O error) in procedure SaveDialog of Module modDLG on line "));
}

TEST(DialogFilter, ASavedNameGetsTheDefaultExtensionOnlyUnderItsOwnFilter) {
    const FilterPair packages{"TORV5 Firmware Files (*.dff)", "*.dff"};
    const FilterPair all{"All Files (*.*)", "*.*"};
    EXPECT_EQ(WithDefaultExtension("/fw/main v1.4.12", "dff", packages), "/fw/main v1.4.12.dff");
    EXPECT_EQ(WithDefaultExtension("/fw/main", "dff", packages), "/fw/main.dff");
    EXPECT_EQ(WithDefaultExtension("/fw/main.DFF", "dff", packages), "/fw/main.DFF");
    EXPECT_EQ(WithDefaultExtension("/fw/main v1.4.12", "dff", all), "/fw/main v1.4.12");
    EXPECT_EQ(WithDefaultExtension("/fw/main v1.4.12", "", packages), "/fw/main v1.4.12");
    EXPECT_EQ(WithDefaultExtension("/fw/x", "hex", {"HEX (*.HEX)", "*.HEX"}), "/fw/x.hex");
}
