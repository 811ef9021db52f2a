#include "base/file_dialogs.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

const QChar N(u'\0');

QString Sys(std::initializer_list<const char*> parts) {
    QString out;
    for (const char* p : parts)
        out += QString::fromLatin1(p) + N;
    return out + N;
}

// Remembers what it was asked and answers from a script.
class ScriptedDialog : public FileDialogBackend {
  public:
    FileDialogAnswer show(const FileDialogRequest& r) override {
        requests.push_back(r);
        if (fail)
            Raise(FailureNo::DeviceIOError);
        return answer;
    }
    std::vector<FileDialogRequest> requests;
    FileDialogAnswer answer;
    bool fail = false;
};

struct OpenCall {
    QString fileName;
    QString fileTitle = QStringLiteral("old title");
    bool mustExist = true;
    bool multi = false;
    bool readOnly = false;
    bool hideReadOnly = false;
    QString filter = QStringLiteral("Tolvane Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
    int filterIndex = 1;
    QString initialFolder;
    QString title = QStringLiteral("Load Tolvane Firmware File");
    QString extension;
    int extraFlags = OFN_EXPLORER | OFN_HIDEREADONLY;

    bool run(ScriptedDialog& d, ErrorSink& log) {
        DialogCall call{fileName,  fileTitle,  filter,   filterIndex, initialFolder, title,
                        extension, extraFlags, readOnly, mustExist,   multi,         hideReadOnly};
        const bool chosen = OpenDialog(d, log, call);
        fileName = call.fileName;
        fileTitle = call.fileTitle;
        filter = call.filter;
        filterIndex = call.filterIndex;
        extraFlags = call.flags;
        readOnly = call.readOnly;
        return chosen;
    }
};

} // namespace

TEST(DialogFilter, BarsAndColonsBecomeNulsEndedByTwoNuls) {
    EXPECT_EQ(SystemFilter("A (*.a)|*.a|All|*.*"), Sys({"A (*.a)", "*.a", "All", "*.*"}));
    EXPECT_EQ(SystemFilter("A (*.a):*.a:All:*.*"), SystemFilter("A (*.a)|*.a|All|*.*"));
    EXPECT_EQ(SystemFilter("Note: text|*.txt"), Sys({"Note", " text", "*.txt"}));
    EXPECT_EQ(SystemFilter(""), QString(2, N));
}

TEST(DialogFilter, LookupGivesTheIndexedPairOrNothing) {
    const QString f = SystemFilter("A (*.a)|*.a|All|*.*");
    EXPECT_EQ(FilterLookup(f, 1), QStringLiteral("A (*.a)") + N + "*.a");
    EXPECT_EQ(FilterLookup(f, 2), QStringLiteral("All") + N + "*.*");
    EXPECT_TRUE(FilterLookup(f, 3).isEmpty());
    EXPECT_TRUE(FilterLookup(f, 0).isEmpty());
    EXPECT_TRUE(FilterLookup(QString(), 1).isEmpty());
    // Without the closing NULs the last pattern runs to the end of the text.
    EXPECT_EQ(FilterLookup(QStringLiteral("A") + N + "*.a" + N + "B" + N + "*.b", 2),
              QStringLiteral("B") + N + "*.b");
    EXPECT_EQ(FilterLookup(QStringLiteral("A") + N + "*.a" + N + "B", 2), QStringLiteral("B"));
}

TEST(DialogFilter, PairsBecomeQtNameFilters) {
    const QList<FilterPair> pairs = FilterPairs(SystemFilter(
        "Tolvane Firmware Files (*.dff)|*.dff|ORBEL HEX Firmware Files (*.HEX)|*.HEX|All Files "
        "(*.*)|*.*|Images|*.bin;*.img"));
    ASSERT_EQ(pairs.size(), 4);
    EXPECT_EQ(pairs[1].description, QStringLiteral("ORBEL HEX Firmware Files (*.HEX)"));
    EXPECT_EQ(pairs[1].pattern, QStringLiteral("*.HEX"));
    EXPECT_EQ(QtNameFilter(pairs[0]), QStringLiteral("Tolvane Firmware Files (*.dff *.DFF)"));
    EXPECT_EQ(QtNameFilter(pairs[1]), QStringLiteral("ORBEL HEX Firmware Files (*.HEX *.hex)"));
    EXPECT_EQ(QtNameFilter(pairs[2]), QStringLiteral("All Files (*)"));
    EXPECT_EQ(QtNameFilter(pairs[3]), QStringLiteral("Images (*.bin *.BIN *.img *.IMG)"));
}

TEST(OpenDialogCall, AsksWithTheCallersSettingsAndCopiesTheChoiceBack) {
    ScriptedDialog dialog;
    dialog.answer = {true, {"/data/fw/orbel 1.2.dff"}, 2, OFN_EXPLORER | OFN_HIDEREADONLY};
    fakes::RecordingLog log;
    OpenCall call;
    call.fileName = QStringLiteral("C:\\fw\\main.hex");
    call.extraFlags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
    call.extension = QStringLiteral("dff");
    ASSERT_TRUE(call.run(dialog, log));

    ASSERT_EQ(dialog.requests.size(), 1u);
    const FileDialogRequest& r = dialog.requests[0];
    EXPECT_EQ(r.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(r.initialFolder, QStringLiteral("C:\\fw\\"));
    EXPECT_EQ(r.fileName, QStringLiteral("C:\\fw\\main.hex"));
    EXPECT_EQ(r.title, QStringLiteral("Load Tolvane Firmware File"));
    EXPECT_EQ(r.defaultExtension, QStringLiteral("dff"));
    EXPECT_EQ(r.flags, OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST);
    EXPECT_EQ(r.filterIndex, 1);
    ASSERT_EQ(r.filters.size(), 2);
    EXPECT_EQ(r.filters[1].pattern, QStringLiteral("*.*"));

    EXPECT_EQ(call.fileName, QStringLiteral("/data/fw/orbel 1.2.dff"));
    EXPECT_EQ(call.fileTitle, QStringLiteral("orbel 1.2.dff"));
    EXPECT_EQ(call.filterIndex, 2);
    EXPECT_EQ(call.filter, QStringLiteral("All Files (*.*)") + N + "*.*");
    EXPECT_EQ(call.extraFlags, OFN_EXPLORER | OFN_HIDEREADONLY);
    EXPECT_FALSE(call.readOnly);
    EXPECT_TRUE(log.records.isEmpty());
}

TEST(OpenDialogCall, AGivenInitialFolderWinsOverTheFileNamesFolder) {
    ScriptedDialog dialog;
    fakes::RecordingLog log;
    OpenCall call;
    call.fileName = QStringLiteral("/a/b/c.dff");
    call.initialFolder = QStringLiteral("/elsewhere/");
    call.run(dialog, log);
    EXPECT_EQ(dialog.requests.at(0).initialFolder, QStringLiteral("/elsewhere/"));
    OpenCall bare;
    bare.fileName = QStringLiteral("c.dff");
    bare.run(dialog, log);
    EXPECT_TRUE(dialog.requests.at(1).initialFolder.isEmpty());
}

TEST(OpenDialogCall, CancellingEmptiesTheTextsEvenAnInitialFileName) {
    ScriptedDialog dialog; // answers "not chosen"
    fakes::RecordingLog log;
    OpenCall call;
    call.fileName = QStringLiteral("/fw/previous.dff");
    EXPECT_FALSE(call.run(dialog, log));
    EXPECT_TRUE(call.fileName.isEmpty());
    EXPECT_TRUE(call.fileTitle.isEmpty());
    EXPECT_TRUE(call.filter.isEmpty());
    EXPECT_EQ(call.extraFlags, 0);
    EXPECT_TRUE(log.records.isEmpty());
}

TEST(OpenDialogCall, ADialogThatFailsIsLoggedAndLooksCancelled) {
    ScriptedDialog dialog;
    dialog.fail = true;
    fakes::RecordingLog log;
    OpenCall call;
    call.fileName = QStringLiteral("/fw/previous.dff");
    EXPECT_FALSE(call.run(dialog, log));
    EXPECT_TRUE(call.fileName.isEmpty());
    ASSERT_EQ(log.records.size(), 1);
    EXPECT_TRUE(log.records[0].startsWith(
        "Error 57 (Device I/O error) in procedure OpenDialog of Module modDLG on line "));
}

TEST(OpenDialogCall, MultiSelectGivesTheFolderAndNamesWithoutATitle) {
    ScriptedDialog dialog;
    dialog.answer = {true, {"/fw/a.hex", "/fw/b.hex"}, 1, OFN_ALLOWMULTISELECT};
    fakes::RecordingLog log;
    OpenCall call;
    call.multi = true;
    ASSERT_TRUE(call.run(dialog, log));
    EXPECT_TRUE(dialog.requests[0].flags & OFN_ALLOWMULTISELECT);
    EXPECT_EQ(call.fileName, QStringLiteral("/fw") + N + "a.hex" + N + "b.hex");
    EXPECT_TRUE(call.fileTitle.isEmpty());

    dialog.answer.files = QStringList{"/fw/a.hex"};
    ASSERT_TRUE(call.run(dialog, log));
    EXPECT_EQ(call.fileName, QStringLiteral("/fw/a.hex"));
}

TEST(OpenDialogCall, TheReadOnlyBoxIsAskedForAndReportedThroughItsFlag) {
    ScriptedDialog dialog;
    fakes::RecordingLog log;
    OpenCall call;
    call.readOnly = true;
    call.hideReadOnly = false;
    call.extraFlags = 0;
    call.mustExist = false;
    dialog.answer = {true, {"/fw/a.dff"}, 1, OFN_READONLY};
    ASSERT_TRUE(call.run(dialog, log));
    EXPECT_EQ(dialog.requests[0].flags, OFN_READONLY);
    EXPECT_TRUE(call.readOnly);

    OpenCall unticked;
    unticked.hideReadOnly = true;
    dialog.answer.flags = OFN_HIDEREADONLY;
    ASSERT_TRUE(unticked.run(dialog, log));
    EXPECT_TRUE(dialog.requests[1].flags & OFN_HIDEREADONLY);
    EXPECT_FALSE(unticked.readOnly);
}

TEST(SaveDialogCall, AlwaysHidesTheReadOnlyBoxAndAsksBeforeOverwritingWhenTold) {
    ScriptedDialog dialog;
    dialog.answer = {true, {"/out/ORBEL_1.2.3.dff"}, 1, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    fakes::RecordingLog log;
    DialogCall call;
    call.fileName = QStringLiteral("/out/ORBEL_1.2.3.dff");
    call.filter = QStringLiteral("ORBEL Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
    call.title = QStringLiteral("Save ORBEL Firmware File");
    call.defaultExtension = QStringLiteral("dff");
    call.flags = OFN_EXPLORER;
    call.askBeforeOverwriting = true;
    ASSERT_TRUE(SaveDialog(dialog, log, call));
    const FileDialogRequest& r = dialog.requests.at(0);
    EXPECT_EQ(r.kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(r.flags, OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    EXPECT_EQ(r.initialFolder, QStringLiteral("/out/"));
    EXPECT_EQ(call.fileTitle, QStringLiteral("ORBEL_1.2.3.dff"));
    EXPECT_EQ(call.filter, QStringLiteral("ORBEL Firmware Files (*.dff)") + N + "*.dff");

    call.flags = 0;
    call.title.clear();
    call.defaultExtension.clear();
    call.askBeforeOverwriting = false;
    dialog.answer = {};
    EXPECT_FALSE(SaveDialog(dialog, log, call));
    EXPECT_EQ(dialog.requests.at(1).flags, OFN_HIDEREADONLY);
    EXPECT_TRUE(call.fileName.isEmpty());
    EXPECT_TRUE(call.fileTitle.isEmpty());
    EXPECT_TRUE(call.filter.isEmpty());
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
